// Menus of the native build. Linux has no menu handles, so there the "menu
// handle" that the stand-in host passes to BKC_OnMenuInit points to one of
// these, owned by the host; the plug-in edits it through plugin/menu.h just as
// it edits a real menu on Windows. Both sides compile this one definition.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace gw {

struct NativeMenu {
  struct Item {
    bool separator = false;
    uint32_t id = 0;
    std::string text;  // narrow, in the system code page, as a menu's ANSI text
    std::shared_ptr<NativeMenu> submenu;
  };
  std::vector<Item> items;

  // The submenu at `position`, or null when there is none, as GetSubMenu.
  NativeMenu* SubMenu(size_t position) const {
    return position < items.size() ? items[position].submenu.get() : nullptr;
  }

  // Inserts before `position`; a position past the end appends, as
  // InsertMenu by position does.
  void InsertAt(size_t position, Item item) {
    items.insert(items.begin() + static_cast<std::ptrdiff_t>(position < items.size() ? position : items.size()),
                 std::move(item));
  }
};

}  // namespace gw
