// While alive, cancels every dialog or message box that becomes active on
// this thread, so that a callback which opens one (the settings dialog)
// returns instead of waiting for a person.
#pragma once

#include <windows.h>

namespace gwtest {

class ModalCanceller {
 public:
  ModalCanceller();
  ~ModalCanceller();
  ModalCanceller(const ModalCanceller&) = delete;
  ModalCanceller& operator=(const ModalCanceller&) = delete;

  // How many dialogs it has cancelled.
  int Cancelled() const;

 private:
  HHOOK hook_;
};

}  // namespace gwtest
