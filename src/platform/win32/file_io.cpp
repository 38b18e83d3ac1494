// File contents, finds, backup streams, compression and CloseHandle:
// forwarders to kernel32, with the fault table first. While tests watch, each file handle's
// path is remembered so that faults on its calls can match it, as on Linux.
#include <algorithm>
#include <mutex>
#include <string>
#include <unordered_map>

#include "../common/layer.h"

namespace platform {
namespace {

std::mutex g_mutex;
std::unordered_map<HANDLE, std::string> g_paths;  // a reused handle takes the newer path

void RememberPath(HANDLE handle, LPCSTR path) {
  if (!detail::g_watching.load(std::memory_order_relaxed) || !path) return;
  std::lock_guard<std::mutex> lock(g_mutex);
  g_paths[handle] = path;
}

// The path `handle` was opened with; "" when unknown.
std::string PathOf(HANDLE handle) {
  if (!detail::g_watching.load(std::memory_order_relaxed)) return std::string();
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = g_paths.find(handle);
  return it == g_paths.end() ? std::string() : it->second;
}

void ForgetPath(HANDLE handle) {
  if (!detail::g_watching.load(std::memory_order_relaxed)) return;
  std::lock_guard<std::mutex> lock(g_mutex);
  g_paths.erase(handle);
}

bool Faulted(const char* operation, const char* path) {
  DWORD error;
  if (!detail::Fault(operation, path, &error)) return false;
  ::SetLastError(error);
  return true;
}

bool Faulted(const char* operation, HANDLE handle) {
  if (!detail::g_watching.load(std::memory_order_relaxed)) return false;
  return Faulted(operation, PathOf(handle).c_str());
}

// ReadFile or WriteFile through the fault table: `call` moves what a
// fault lets through, and the fault's error, if any, comes after it.
template <typename Call>
BOOL Transfer(const char* operation, HANDLE handle, DWORD count, LPDWORD done, Call call) {
  DWORD error = ERROR_SUCCESS, limit = count;
  if (detail::g_watching.load(std::memory_order_relaxed) &&
      detail::TransferFault(operation, PathOf(handle).c_str(), &error, &limit))
    count = std::min(count, limit);
  BOOL ok = TRUE;
  if (error == ERROR_SUCCESS || count != 0) {
    ok = call(count);
  } else if (done) {
    *done = 0;
  }
  if (ok && error != ERROR_SUCCESS) {
    ::SetLastError(error);
    return FALSE;
  }
  return ok;
}

}  // namespace

// A fault is a failure met while closing, as a write that was put off fails
// there: the handle is closed all the same.
BOOL CloseHandle(HANDLE handle) {
  DWORD error = ERROR_SUCCESS;
  bool faulted = detail::g_watching.load(std::memory_order_relaxed) &&
                 detail::Fault("CloseHandle", PathOf(handle).c_str(), &error);
  ForgetPath(handle);
  BOOL ok = ::CloseHandle(handle);
  if (ok) detail::HandleClosed();
  if (ok && faulted) {
    ::SetLastError(error);
    return FALSE;
  }
  return ok;
}

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flagsAndAttributes, HANDLE templateFile) {
  if (Faulted("CreateFileA", path)) return INVALID_HANDLE_VALUE;
  HANDLE file =
      ::CreateFileA(path, access, share, security, disposition, flagsAndAttributes, templateFile);
  if (file != INVALID_HANDLE_VALUE) {
    DWORD error = ::GetLastError();  // ERROR_ALREADY_EXISTS is part of the answer
    detail::HandleOpened();
    RememberPath(file, path);
    ::SetLastError(error);
  }
  return file;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD done, LPVOID overlapped) {
  return Transfer("ReadFile", file, count, done, [&](DWORD n) {
    return ::ReadFile(file, buffer, n, done, static_cast<LPOVERLAPPED>(overlapped));
  });
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD done, LPVOID overlapped) {
  return Transfer("WriteFile", file, count, done, [&](DWORD n) {
    return ::WriteFile(file, buffer, n, done, static_cast<LPOVERLAPPED>(overlapped));
  });
}

DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method) {
  if (Faulted("SetFilePointer", file)) return INVALID_SET_FILE_POINTER;
  return ::SetFilePointer(file, distance, distanceHigh, method);
}

DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh) {
  if (Faulted("GetFileSize", file)) return INVALID_FILE_SIZE;
  return ::GetFileSize(file, sizeHigh);
}

BOOL SetEndOfFile(HANDLE file) {
  if (Faulted("SetEndOfFile", file)) return FALSE;
  return ::SetEndOfFile(file);
}

BOOL SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* lastAccess,
                 const FILETIME* lastWrite) {
  if (Faulted("SetFileTime", file)) return FALSE;
  return ::SetFileTime(file, creation, lastAccess, lastWrite);
}

BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* info) {
  if (Faulted("GetFileInformationByHandle", file)) return FALSE;
  return ::GetFileInformationByHandle(file, info);
}

HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* data) {
  if (Faulted("FindFirstFileA", pattern)) return INVALID_HANDLE_VALUE;
  HANDLE find = ::FindFirstFileA(pattern, data);
  if (find != INVALID_HANDLE_VALUE) {
    detail::HandleOpened();
    RememberPath(find, pattern);
  }
  return find;
}

BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data) {
  if (Faulted("FindNextFileA", find)) return FALSE;
  return ::FindNextFileA(find, data);
}

BOOL FindClose(HANDLE find) {
  bool faulted = Faulted("FindClose", find);
  DWORD error = ::GetLastError();
  ForgetPath(find);
  BOOL ok = ::FindClose(find);
  if (ok) detail::HandleClosed();
  if (ok && faulted) {
    ::SetLastError(error);
    return FALSE;
  }
  return ok;
}

BOOL BackupRead(HANDLE file, LPBYTE buffer, DWORD count, LPDWORD done, BOOL abort,
                BOOL processSecurity, LPVOID* context) {
  // Aborting only frees the context: it must not fail, or the context leaks.
  if (!abort && Faulted("BackupRead", file)) return FALSE;
  return ::BackupRead(file, buffer, count, done, abort, processSecurity, context);
}

BOOL BackupSeek(HANDLE file, DWORD lowToSeek, DWORD highToSeek, LPDWORD lowSeeked,
                LPDWORD highSeeked, LPVOID* context) {
  if (Faulted("BackupSeek", file)) return FALSE;
  return ::BackupSeek(file, lowToSeek, highToSeek, lowSeeked, highSeeked, context);
}

BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID input, DWORD inputSize, LPVOID output,
                     DWORD outputSize, LPDWORD returned, LPVOID overlapped) {
  if (Faulted("DeviceIoControl", device)) return FALSE;
  return ::DeviceIoControl(device, code, input, inputSize, output, outputSize, returned,
                           static_cast<LPOVERLAPPED>(overlapped));
}

}  // namespace platform
