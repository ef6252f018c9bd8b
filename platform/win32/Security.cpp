// Win32 backend: what a copy keeps of its source under -OWNER and -XATTR:
// the owner and group, and the DACL, of its security descriptor, set
// through handles, before the copy takes its name or the new folder is used.
#include "platform/win32/Win32.h"

#include <aclapi.h>

namespace vx::win {

namespace {

// Failures that say "not this process, not here": the copy stays as the
// system made it, as where the process may not change owners.
bool PassedOver(DWORD error) {
  return error == ERROR_ACCESS_DENIED || error == ERROR_PRIVILEGE_NOT_HELD || error == ERROR_INVALID_OWNER ||
         error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION || error == ERROR_CALL_NOT_IMPLEMENTED ||
         error == ERROR_INVALID_PRIMARY_GROUP;
}

// The same file or folder as handle, opened anew with the given rights
// (the handles the copy holds have no right to the security descriptor).
Handle Reopened(HANDLE handle, DWORD access, bool folder) {
  return Handle(::ReOpenFile(handle, access, kShareAll, folder ? FILE_FLAG_BACKUP_SEMANTICS : 0));
}

}  // namespace

std::error_code KeepSecurityOf(HANDLE in, HANDLE out, const KeepMetadata& keep, bool folder) {
  SECURITY_INFORMATION what = 0;
  if (keep.owner) what |= OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION;
  if (keep.xattrs) what |= DACL_SECURITY_INFORMATION;
  if (what == 0) return {};
  const Handle from = Reopened(in, READ_CONTROL, folder);
  if (!from.valid()) return PassedOver(::GetLastError()) ? std::error_code() : LastError();
  PSID owner = nullptr, group = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  DWORD error = ::GetSecurityInfo(from.get(), SE_FILE_OBJECT, what, &owner, &group, &dacl, nullptr, &descriptor);
  if (error != ERROR_SUCCESS) return PassedOver(error) ? std::error_code() : Error(error);
  const Handle to = Reopened(out, (keep.owner ? WRITE_OWNER : 0) | (keep.xattrs ? WRITE_DAC : 0), folder);
  if (!to.valid()) {
    error = ::GetLastError();
  } else {
    // Owner and group first, each alone: a process that may give one may
    // not give the other, and the DACL is still given.
    error = ERROR_SUCCESS;
    if (keep.owner) {
      const DWORD given = ::SetSecurityInfo(to.get(), SE_FILE_OBJECT,
                                            OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION, owner,
                                            group, nullptr, nullptr);
      if (given != ERROR_SUCCESS && !PassedOver(given)) error = given;
    }
    if (keep.xattrs && error == ERROR_SUCCESS) {
      const DWORD given = ::SetSecurityInfo(to.get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                            nullptr, dacl, nullptr);
      if (given != ERROR_SUCCESS && !PassedOver(given)) error = given;
    }
  }
  ::LocalFree(descriptor);
  return error == ERROR_SUCCESS || PassedOver(error) ? std::error_code() : Error(error);
}

bool ProcessMayChangeOwners() {
  // The restore privilege lets a process give any owner; enabled here,
  // where the token holds it.
  HANDLE token;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return false;
  const Handle held(token);
  TOKEN_PRIVILEGES privileges = {};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (!::LookupPrivilegeValueW(nullptr, L"SeRestorePrivilege", &privileges.Privileges[0].Luid)) return false;
  if (!::AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr)) return false;
  return ::GetLastError() == ERROR_SUCCESS;  // ERROR_NOT_ALL_ASSIGNED: not held
}

}  // namespace vx::win

namespace vx {

bool NativeFileSystem::MayChangeOwners() { return win::ProcessMayChangeOwners(); }

}  // namespace vx
