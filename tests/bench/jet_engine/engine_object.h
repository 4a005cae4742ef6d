// The COM object behind "Jro.JetEngine": CompactDatabase reached through IDispatch.
#pragma once

#include <oaidl.h>
#include <windows.h>

namespace jet {

// DISPID of CompactDatabase, the only member.
inline constexpr DISPID kCompactDatabaseId = 1;

// Creates a new engine object and queries it for riid.
HRESULT create_engine(REFIID riid, void** object);

}  // namespace jet
