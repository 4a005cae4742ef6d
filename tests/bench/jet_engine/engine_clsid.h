// The stand-in's own class id. Deliberately not JRO's, so it can never be mistaken for the real one.
#pragma once

#include <windows.h>

namespace jet {

// {F747820F-7CD4-4B9A-B6D5-87E720B592E3}
inline constexpr CLSID kEngineClsid = {0xf747820f, 0x7cd4, 0x4b9a, {0xb6, 0xd5, 0x87, 0xe7, 0x20, 0xb5, 0x92, 0xe3}};
inline constexpr wchar_t kEngineClsidText[] = L"{F747820F-7CD4-4B9A-B6D5-87E720B592E3}";
inline constexpr wchar_t kProgId[] = L"Jro.JetEngine";
inline constexpr wchar_t kVersionedProgId[] = L"Jro.JetEngine.2.6";

}  // namespace jet
