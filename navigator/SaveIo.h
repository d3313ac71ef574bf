// The system calls that a save makes, in one table so that tests can count them and make
// any of them fail (a full disk or a lost share can't be produced on demand).
#pragma once

#include <windows.h>

namespace scanleaf {

struct SaveIo {
    HANDLE(WINAPI* createFile)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
    BOOL(WINAPI* getFileInformation)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);
    BOOL(WINAPI* readFile)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
    BOOL(WINAPI* setFilePointer)(HANDLE, LARGE_INTEGER, PLARGE_INTEGER, DWORD);
    BOOL(WINAPI* writeFile)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
    BOOL(WINAPI* closeHandle)(HANDLE);
};

// The calls in use: the system's own unless a test has put others in their place.
SaveIo& SaveFileIo();
// The system's own calls.
const SaveIo& SystemSaveIo();

} // namespace scanleaf
