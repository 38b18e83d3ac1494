// The optional advapi32 functions found by name: file security copied
// between files, and the privilege calls. Linux checks what the blob
// carried; Wine runs the same calls against its own descriptors.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#endif
#include "layer_helpers.h"

namespace {

namespace pt = platform::testing;

using GetFileSecurityFn = BOOL(WINAPI*)(LPCSTR, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR, DWORD,
                                        LPDWORD);
using SetFileSecurityFn = BOOL(WINAPI*)(LPCSTR, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR);
using OpenProcessTokenFn = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE*);
using LookupPrivilegeValueFn = BOOL(WINAPI*)(LPCSTR, LPCSTR, void*);
using AdjustTokenPrivilegesFn = BOOL(WINAPI*)(HANDLE, BOOL, void*, DWORD, void*, DWORD*);

constexpr DWORD kNoSuchProcedure = 127;  // ERROR_PROC_NOT_FOUND
constexpr DWORD kOwnerGroupDacl =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

template <typename F>
F Find(const char* name) {
  FARPROC found = platform::GetProcAddress(platform::GetModuleHandleA("advapi32.dll"), name);
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(found));
}

class SecurityTest : public layer_test::LayerTest {
 protected:
  void SetUp() override {
    LayerTest::SetUp();
    for (const char* name : {"src", "dst", "plain"}) std::ofstream(dir / name) << name;
    get = Find<GetFileSecurityFn>("GetFileSecurityA");
    set = Find<SetFileSecurityFn>("SetFileSecurityA");
    ASSERT_TRUE(get && set);
  }
  std::string P(const char* name) const { return folder + "\\" + name; }

  // The descriptor's bytes, or empty when the read failed.
  std::vector<char> Read(const char* name, DWORD parts) {
    DWORD needed = 0;
    get(P(name).c_str(), parts, nullptr, 0, &needed);
    std::vector<char> blob(needed);
    if (needed == 0 || !get(P(name).c_str(), parts, blob.data(), needed, &needed)) blob.clear();
    return blob;
  }

  GetFileSecurityFn get = nullptr;
  SetFileSecurityFn set = nullptr;
};

TEST_F(SecurityTest, ProceduresAnswerByNameAsThisSystemHasThem) {
  HMODULE advapi = platform::GetModuleHandleA("AdvApi32.DLL");
  ASSERT_NE(advapi, nullptr);
#ifdef _WIN32
  const bool encryption = true;
#else
  const bool encryption = false;  // Linux offers none
#endif
  for (const char* name : {"EncryptFileA", "DecryptFileA"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(platform::GetProcAddress(advapi, name) != nullptr, encryption);
  }
  for (const char* name : {"GetFileSecurityA", "SetFileSecurityA", "OpenProcessToken",
                           "LookupPrivilegeValueA", "AdjustTokenPrivileges"}) {
    SCOPED_TRACE(name);
    EXPECT_NE(platform::GetProcAddress(advapi, name), nullptr);
  }
  EXPECT_EQ(platform::GetProcAddress(advapi, "getfilesecuritya"), nullptr)
      << "names keep their case";
  EXPECT_EQ(platform::GetLastError(), kNoSuchProcedure);
  EXPECT_EQ(platform::GetProcAddress(advapi, reinterpret_cast<LPCSTR>(uintptr_t{1})), nullptr)
      << "an ordinal is not read as a name";
}

TEST_F(SecurityTest, DescriptorCopiedToAnotherFileReadsBackTheSame) {
#ifndef _WIN32
  ASSERT_EQ(::chown((dir / "src").c_str(), 1234, 5678), 0);
  ASSERT_EQ(::chmod((dir / "src").c_str(), 02640), 0);
  ASSERT_EQ(::chmod((dir / "dst").c_str(), 0777), 0);
#endif
  std::vector<char> source = Read("src", kOwnerGroupDacl);
  ASSERT_FALSE(source.empty());
  ASSERT_TRUE(set(P("dst").c_str(), kOwnerGroupDacl, source.data()));
  EXPECT_EQ(Read("dst", kOwnerGroupDacl), source);
#ifndef _WIN32
  struct stat st;
  ASSERT_EQ(::stat((dir / "dst").c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 1234u);
  EXPECT_EQ(st.st_gid, 5678u);
  EXPECT_EQ(st.st_mode & 07777, 02640u) << "set-id bits survive the change of owner";

  // Each part alone changes only itself; the audit list reads empty and writes nothing.
  struct Case {
    DWORD parts;
    uid_t uid;
    gid_t gid;
    mode_t mode;
  } cases[] = {{OWNER_SECURITY_INFORMATION, 1234, 0, 0777},
               {GROUP_SECURITY_INFORMATION, 0, 5678, 0777},
               {DACL_SECURITY_INFORMATION, 0, 0, 02640},
               {SACL_SECURITY_INFORMATION, 0, 0, 0777}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.parts);
    ASSERT_EQ(::chown((dir / "plain").c_str(), 0, 0), 0);
    ASSERT_EQ(::chmod((dir / "plain").c_str(), 0777), 0);
    std::vector<char> part = Read("src", c.parts);
    ASSERT_TRUE(set(P("plain").c_str(), c.parts, part.data()));
    ASSERT_EQ(::stat((dir / "plain").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, c.uid);
    EXPECT_EQ(st.st_gid, c.gid);
    EXPECT_EQ(st.st_mode & 07777, c.mode);
    if (c.parts == SACL_SECURITY_INFORMATION) {
      EXPECT_EQ(part, Read("plain", c.parts)) << "nothing of either file in the audit part";
    }
  }
#endif
}

TEST_F(SecurityTest, TooSmallBufferReportsTheSizeNeeded) {
  char buffer[16384];
  DWORD needed = 0, again = 0;
  EXPECT_FALSE(get(P("src").c_str(), kOwnerGroupDacl, buffer, 0, &needed));
  EXPECT_EQ(platform::GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  ASSERT_TRUE(needed > 0 && needed < sizeof buffer);
  EXPECT_FALSE(get(P("src").c_str(), kOwnerGroupDacl, buffer, needed - 1, &again));
  EXPECT_EQ(again, needed);
  EXPECT_TRUE(get(P("src").c_str(), kOwnerGroupDacl, buffer, needed, &again));
  // The functions handed out ask the fault table like every other call.
  pt::ArmFault("GetFileSecurityA", "*\\src", 1, ERROR_ACCESS_DENIED);
  EXPECT_FALSE(get(P("src").c_str(), kOwnerGroupDacl, buffer, sizeof buffer, &needed));
  EXPECT_EQ(platform::GetLastError(), ERROR_ACCESS_DENIED);
}

TEST_F(SecurityTest, PrivilegeCallsWorkOnATokenThatIsClosedAfterwards) {
  auto open = Find<OpenProcessTokenFn>("OpenProcessToken");
  auto lookup = Find<LookupPrivilegeValueFn>("LookupPrivilegeValueA");
  auto adjust = Find<AdjustTokenPrivilegesFn>("AdjustTokenPrivileges");
  ASSERT_TRUE(open && lookup && adjust);
  struct {
    DWORD count = 1, luidLow = 0, luidHigh = 0, attributes = 2;  // one privilege, enabled
  } privileges;
  HANDLE token = nullptr;
  // INVALID_HANDLE_VALUE is the current process's pseudo handle.
  ASSERT_TRUE(open(INVALID_HANDLE_VALUE, 0x28, &token));
  ASSERT_NE(token, nullptr);
  EXPECT_EQ(pt::OpenHandleCount(), handlesAtStart + 1);
  ASSERT_TRUE(lookup(nullptr, "SeSecurityPrivilege", &privileges.luidLow));
  EXPECT_NE(privileges.luidLow, 0u);
  EXPECT_TRUE(adjust(token, FALSE, &privileges, 0, nullptr, nullptr));
  EXPECT_TRUE(platform::CloseHandle(token));
  EXPECT_FALSE(adjust(token, FALSE, &privileges, 0, nullptr, nullptr)) << "a closed token";
}

#ifndef _WIN32
// An ACL in the kernel's attribute form: version 2, then tag, permissions
// and id for each entry, in tag order.
std::string AclWithUser(uint32_t uid) {
  struct Entry {
    uint16_t tag, perm;
    uint32_t id;
  } entries[] = {{0x01, 6, ~0u}, {0x02, 6, uid}, {0x04, 4, ~0u}, {0x10, 6, ~0u}, {0x20, 0, ~0u}};
  uint32_t version = 2;
  std::string acl(reinterpret_cast<const char*>(&version), sizeof version);
  acl.append(reinterpret_cast<const char*>(entries), sizeof entries);
  return acl;
}

std::string AclOf(const std::filesystem::path& path) {
  char buffer[1024];
  ssize_t size = ::getxattr(path.c_str(), "system.posix_acl_access", buffer, sizeof buffer);
  return size < 0 ? std::string() : std::string(buffer, static_cast<size_t>(size));
}

TEST_F(SecurityTest, AccessListTravelsWithTheDaclAndIsRemovedWhereTheSourceHasNone) {
  std::string acl = AclWithUser(4321);
  if (::setxattr((dir / "src").c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) != 0)
    GTEST_SKIP() << "this file system keeps no POSIX ACL (errno " << errno << ")";
  std::vector<char> withAcl = Read("src", DACL_SECURITY_INFORMATION);
  ASSERT_TRUE(set(P("dst").c_str(), DACL_SECURITY_INFORMATION, withAcl.data()));
  EXPECT_EQ(AclOf(dir / "dst"), AclOf(dir / "src"));

  std::vector<char> withoutAcl = Read("plain", DACL_SECURITY_INFORMATION);
  ASSERT_TRUE(set(P("dst").c_str(), DACL_SECURITY_INFORMATION, withoutAcl.data()));
  EXPECT_EQ(AclOf(dir / "dst"), "");
  EXPECT_EQ(Read("dst", DACL_SECURITY_INFORMATION), withoutAcl);
}

TEST_F(SecurityTest, ForeignOrIncompleteDescriptorIsRefusedAndChangesNothing) {
  constexpr DWORD kInvalidDescriptor = 1338;  // ERROR_INVALID_SECURITY_DESCR
  ASSERT_EQ(::chmod((dir / "dst").c_str(), 0755), 0);
  std::vector<char> garbage(256, '\x5A');
  std::vector<char> daclOnly = Read("src", DACL_SECURITY_INFORMATION);
  struct Case {
    const char* what;
    DWORD parts;
    const char* descriptor;
  } cases[] = {
      {"foreign bytes", kOwnerGroupDacl, garbage.data()},
      {"owner asked, not held", OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
       daclOnly.data()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(set(P("dst").c_str(), c.parts, const_cast<char*>(c.descriptor)));
    EXPECT_EQ(platform::GetLastError(), kInvalidDescriptor);
    struct stat st;
    ASSERT_EQ(::stat((dir / "dst").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);
  }
}
#endif

}  // namespace
