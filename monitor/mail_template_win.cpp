// Windows: resource "EML" 111, Japanese, in the plug-in's own module.
#include "monitor/mail_template.h"

#include <windows.h>

#include "core/context.h"

namespace gw {

std::string LoadMailTemplate() {
  HMODULE module = static_cast<HMODULE>(PluginModule());
  HRSRC info = FindResourceExW(module, L"EML", MAKEINTRESOURCEW(111), MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
  if (info == nullptr) return std::string();
  HGLOBAL loaded = LoadResource(module, info);
  DWORD size = SizeofResource(module, info);
  // Resource memory belongs to the module and needs no release.
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (bytes == nullptr) return std::string();
  return std::string(static_cast<const char*>(bytes), size);
}

}  // namespace gw
