// The stand-in's own class id. Deliberately not DAO's, so it can never be mistaken for the real one.
#pragma once

#include <windows.h>

namespace dao {

// {653BF721-E7D1-4219-9B12-7CCAE46B4D5C}
inline constexpr CLSID kEngineClsid = {0x653bf721, 0xe7d1, 0x4219, {0x9b, 0x12, 0x7c, 0xca, 0xe4, 0x6b, 0x4d, 0x5c}};
inline constexpr wchar_t kEngineClsidText[] = L"{653BF721-E7D1-4219-9B12-7CCAE46B4D5C}";
// DAO 3.6 registers only this versioned ProgID.
inline constexpr wchar_t kProgId[] = L"DAO.DBEngine.36";

}  // namespace dao
