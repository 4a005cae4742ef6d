// The failures the engine reports, with the numbers and wording of the real JET engine.
#pragma once

#include <windows.h>

#include <string>

namespace jet {

// Thrown inside the stand-in and turned into EXCEPINFO at the IDispatch boundary.
struct JetError {
    HRESULT number;
    std::wstring description;
};

// The provider answers with these two numbers besides E_FAIL.
inline constexpr HRESULT kProviderNotFound = static_cast<HRESULT>(0x800A0E7AL);
inline constexpr HRESULT kDatabaseExists = static_cast<HRESULT>(0x80040E17L);
inline constexpr HRESULT kInvalidPassword = static_cast<HRESULT>(0x80040E4DL);

inline JetError provider_not_found() {
    return {kProviderNotFound, L"Provider cannot be found. It may not be properly installed."};
}
inline JetError database_exists() { return {kDatabaseExists, L"Database already exists."}; }
inline JetError invalid_password() { return {kInvalidPassword, L"Not a valid password."}; }
inline JetError file_not_found(const std::wstring& path) { return {E_FAIL, L"Could not find file '" + path + L"'."}; }
inline JetError file_in_use(const std::wstring& path) {
    return {E_FAIL, L"Could not use '" + path + L"'; file already in use."};
}
inline JetError unrecognized_format(const std::wstring& path) {
    return {E_FAIL, L"Unrecognized database format '" + path + L"'."};
}
inline JetError not_a_valid_path(const std::wstring& path) {
    return {E_FAIL, L"'" + path +
                        L"' is not a valid path. Make sure that the path name is spelled correctly and that "
                        L"you are connected to the server on which the file resides."};
}
inline JetError cannot_open(const std::wstring& path) {
    return {E_FAIL, L"The Microsoft Jet database engine cannot open the file '" + path +
                        L"'. It is already opened exclusively by another user, or you need permission to "
                        L"view its data."};
}

}  // namespace jet
