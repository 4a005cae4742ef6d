// A library planted beside the program under the name of one that it or a
// system library loads by name. Whoever loads it leaves a mark: an empty file
// named after this library's own file, in the folder that PLANTED_DLL_MARKS
// names. Only kernel32 inside DllMain, which runs under the loader's lock.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    wchar_t mark[2 * MAX_PATH + 2];
    const DWORD folder = GetEnvironmentVariableW(L"PLANTED_DLL_MARKS", mark, MAX_PATH);
    wchar_t self[MAX_PATH];
    const DWORD length = GetModuleFileNameW(instance, self, MAX_PATH);
    if (folder == 0 || folder >= MAX_PATH || length == 0 || length >= MAX_PATH) return TRUE;
    const wchar_t* name = self;
    for (const wchar_t* c = self; *c != L'\0'; ++c)
        if (*c == L'\\') name = c + 1;
    lstrcatW(lstrcatW(mark, L"\\"), name);
    const HANDLE file = CreateFileW(mark, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return TRUE;
}
