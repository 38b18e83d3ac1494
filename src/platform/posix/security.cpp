// The optional advapi32 functions on Linux: file security as a private blob
// of owner, group, mode bits and POSIX ACL, and privilege calls that change
// nothing. The plug-in reaches them only through GetProcAddress.
#include <strings.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "../common/layer.h"
#include "errors.h"
#include "handles.h"
#include "paths.h"

namespace platform {
namespace {

constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_PROC_NOT_FOUND = 127;
constexpr DWORD ERROR_NO_SUCH_PRIVILEGE = 1313;
constexpr DWORD ERROR_INVALID_SECURITY_DESCR = 1338;

// ---- Security blob --------------------------------------------------------

constexpr uint32_t kBlobMagic = 0x44534651;  // "QFSD"
constexpr uint16_t kBlobVersion = 1;
constexpr DWORD kBlobParts =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
constexpr char kAclAttribute[] = "system.posix_acl_access";
constexpr uint32_t kLargestAcl = 65536;  // the kernel's limit for one attribute

// Followed by `aclSize` bytes of the raw ACL attribute (DACL only).
struct BlobHeader {
  uint32_t magic;
  uint16_t version;
  uint16_t parts;  // which of kBlobParts the blob holds
  uint32_t uid;
  uint32_t gid;
  uint32_t mode;  // permission bits with set-id and sticky
  uint32_t aclSize;
};

bool NoAcl(int error) { return error == ENODATA || error == ENOTSUP; }

// The ACL attribute's bytes; empty when the file has none or its file
// system keeps none.
bool ReadAcl(const std::string& host, std::vector<char>* acl) {
  for (;;) {
    ssize_t size = ::getxattr(host.c_str(), kAclAttribute, nullptr, 0);
    if (size < 0) {
      if (NoAcl(errno)) return acl->clear(), true;
      return detail::SetLastErrorFromErrno(errno, host.c_str()), false;
    }
    acl->resize(static_cast<size_t>(size));
    size = ::getxattr(host.c_str(), kAclAttribute, acl->data(), acl->size());
    if (size >= 0) return acl->resize(static_cast<size_t>(size)), true;
    if (errno != ERANGE) return detail::SetLastErrorFromErrno(errno, host.c_str()), false;
  }  // ERANGE: it grew meanwhile
}

BOOL WINAPI GetFileSecurityA(LPCSTR path, SECURITY_INFORMATION wanted,
                             PSECURITY_DESCRIPTOR descriptor, DWORD length, LPDWORD needed) {
  DWORD error;
  if (detail::Fault("GetFileSecurityA", path, &error)) return detail::Fail(error);
  if (!needed) return detail::Fail(ERROR_INVALID_PARAMETER);
  std::string host;
  if (!detail::HostPathOf(path, &host, &error)) return detail::Fail(error);
  struct stat st;
  if (::stat(host.c_str(), &st) != 0) {
    detail::SetLastErrorFromErrno(errno, host.c_str());
    return FALSE;
  }
  std::vector<char> acl;
  if ((wanted & DACL_SECURITY_INFORMATION) && !ReadAcl(host, &acl)) return FALSE;
  // Only the parts asked are filled, so a blob tells nothing of the others;
  // Linux keeps no audit list, so the SACL part is always empty.
  BlobHeader header{};
  header.magic = kBlobMagic;
  header.version = kBlobVersion;
  header.parts = static_cast<uint16_t>(wanted & kBlobParts);
  header.aclSize = static_cast<uint32_t>(acl.size());
  if (wanted & OWNER_SECURITY_INFORMATION) header.uid = static_cast<uint32_t>(st.st_uid);
  if (wanted & GROUP_SECURITY_INFORMATION) header.gid = static_cast<uint32_t>(st.st_gid);
  if (wanted & DACL_SECURITY_INFORMATION) header.mode = static_cast<uint32_t>(st.st_mode & 07777);
  DWORD size = static_cast<DWORD>(sizeof header + acl.size());
  *needed = size;
  if (!descriptor || length < size) return detail::Fail(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(descriptor, &header, sizeof header);
  if (!acl.empty())
    std::memcpy(static_cast<char*>(descriptor) + sizeof header, acl.data(), acl.size());
  return TRUE;
}

// Applies the parts asked: owner and group, then mode bits, then the ACL
// (which must come last, as chmod would rewrite its mask).
BOOL WINAPI SetFileSecurityA(LPCSTR path, SECURITY_INFORMATION wanted,
                             PSECURITY_DESCRIPTOR descriptor) {
  DWORD error;
  if (detail::Fault("SetFileSecurityA", path, &error)) return detail::Fail(error);
  if (!descriptor) return detail::Fail(ERROR_INVALID_SECURITY_DESCR);
  BlobHeader header;
  std::memcpy(&header, descriptor, sizeof header);
  DWORD parts = wanted & kBlobParts;
  if (header.magic != kBlobMagic || header.version != kBlobVersion ||
      header.aclSize > kLargestAcl || (parts & ~DWORD{header.parts}))
    return detail::Fail(ERROR_INVALID_SECURITY_DESCR);
  std::string host;
  if (!detail::HostPathOf(path, &host, &error)) return detail::Fail(error);
  auto failed = [&] {
    detail::SetLastErrorFromErrno(errno, host.c_str());
    return FALSE;
  };
  struct stat st;
  if (::stat(host.c_str(), &st) != 0) return failed();
  if (parts & (OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION)) {
    uid_t uid = (parts & OWNER_SECURITY_INFORMATION) ? header.uid : static_cast<uid_t>(-1);
    gid_t gid = (parts & GROUP_SECURITY_INFORMATION) ? header.gid : static_cast<gid_t>(-1);
    if (::chown(host.c_str(), uid, gid) != 0) return failed();
  }
  if (!(parts & DACL_SECURITY_INFORMATION)) return TRUE;
  if (header.aclSize == 0 && ::removexattr(host.c_str(), kAclAttribute) != 0 && !NoAcl(errno))
    return failed();
  if (::chmod(host.c_str(), static_cast<mode_t>(header.mode & 07777)) != 0) return failed();
  const char* acl = static_cast<const char*>(descriptor) + sizeof header;
  if (header.aclSize && ::setxattr(host.c_str(), kAclAttribute, acl, header.aclSize, 0) != 0)
    return failed();
  return TRUE;
}

// ---- Privileges -----------------------------------------------------------

// A process token: something to pass to AdjustTokenPrivileges and close.
// Its kind matches none of the table's, so no other call accepts it.
struct Token : detail::KernelObject {
  static constexpr detail::ObjectKind kKind = static_cast<detail::ObjectKind>(0x70);
  Token() : KernelObject(kKind) {}
};

BOOL WINAPI OpenProcessToken(HANDLE, DWORD, HANDLE* token) {
  DWORD error;
  if (detail::Fault("OpenProcessToken", nullptr, &error)) return detail::Fail(error);
  if (!token) return detail::Fail(ERROR_INVALID_PARAMETER);
  *token = detail::AddHandle(std::make_shared<Token>());
  return TRUE;
}

struct Privilege {
  const char* name;
  DWORD value;  // as Windows numbers it
};
constexpr Privilege kPrivileges[] = {
    {"SeSecurityPrivilege", 8}, {"SeTakeOwnershipPrivilege", 9}, {"SeBackupPrivilege", 17},
    {"SeRestorePrivilege", 18}, {"SeChangeNotifyPrivilege", 23},
};

BOOL WINAPI LookupPrivilegeValueA(LPCSTR system, LPCSTR name, LUID* luid) {
  DWORD error;
  if (detail::Fault("LookupPrivilegeValueA", name, &error)) return detail::Fail(error);
  if (!name || !luid) return detail::Fail(ERROR_INVALID_PARAMETER);
  if (system && *system) return detail::Fail(ERROR_NOT_SUPPORTED);  // no remote systems
  for (const Privilege& privilege : kPrivileges)
    if (::strcasecmp(privilege.name, name) == 0) {
      *luid = LUID{privilege.value, 0};
      return TRUE;
    }
  return detail::Fail(ERROR_NO_SUCH_PRIVILEGE);
}

// Root needs no privilege enabled: nothing changes, and as on Windows a
// success leaves ERROR_SUCCESS as the last error. A previous state asked
// for holds no privileges.
BOOL WINAPI AdjustTokenPrivileges(HANDLE token, BOOL, TOKEN_PRIVILEGES*, DWORD bufferLength,
                                  TOKEN_PRIVILEGES* previous, DWORD* returnLength) {
  DWORD error;
  if (detail::Fault("AdjustTokenPrivileges", nullptr, &error)) return detail::Fail(error);
  if (!detail::FindHandleOf<Token>(token)) return detail::Fail(ERROR_INVALID_HANDLE);
  if (previous) {
    constexpr DWORD kEmpty = sizeof(DWORD);
    if (returnLength) *returnLength = kEmpty;
    if (bufferLength < kEmpty) return detail::Fail(ERROR_INSUFFICIENT_BUFFER);
    previous->PrivilegeCount = 0;
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

// ---- Module and names -----------------------------------------------------

HMODULE const kAdvapi = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x7A000000));

// Through void (*)(), the one function type any other converts to quietly.
template <typename F>
FARPROC AsFarproc(F function) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

struct Export {
  const char* name;
  FARPROC function;  // null: Linux has no such function
};

const Export kExports[] = {
    {"EncryptFileA", nullptr},
    {"DecryptFileA", nullptr},
    {"GetFileSecurityA", AsFarproc(&GetFileSecurityA)},
    {"SetFileSecurityA", AsFarproc(&SetFileSecurityA)},
    {"OpenProcessToken", AsFarproc(&OpenProcessToken)},
    {"LookupPrivilegeValueA", AsFarproc(&LookupPrivilegeValueA)},
    {"AdjustTokenPrivileges", AsFarproc(&AdjustTokenPrivileges)},
};

}  // namespace

HMODULE GetModuleHandleA(LPCSTR name) {
  DWORD error;
  if (detail::Fault("GetModuleHandleA", name, &error)) {
    SetLastError(error);
    return nullptr;
  }
  if (name && (::strcasecmp(name, "advapi32.dll") == 0 || ::strcasecmp(name, "advapi32") == 0))
    return kAdvapi;
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
  // A value below 64 Ki is an ordinal, not a name: never read through it.
  bool byName = reinterpret_cast<uintptr_t>(name) > 0xFFFF;
  DWORD error;
  if (detail::Fault("GetProcAddress", byName ? name : nullptr, &error)) {
    SetLastError(error);
    return nullptr;
  }
  if (module != kAdvapi) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  for (const Export& entry : kExports)
    if (byName && std::strcmp(entry.name, name) == 0 && entry.function) return entry.function;
  SetLastError(ERROR_PROC_NOT_FOUND);
  return nullptr;
}

}  // namespace platform
