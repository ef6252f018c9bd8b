// Results: an error code, or a value.
// Part of the platform interface (platform/Platform.h), whose one error
// convention it follows.
#pragma once

#include <system_error>
#include <utility>

namespace vx {

// ---- Results ----------------------------------------------------------------

// errno values on Linux; Win32 error codes on Windows, message() from
// FormatMessageA and default_error_condition() mapping to std::errc, so that
// IsMissing and MoveNeedsCopy also take the portable codes test doubles return.
const std::error_category& SystemCategory();
// The given system code as an error (0 gives an empty error).
inline std::error_code SystemError(int code) { return std::error_code(code, SystemCategory()); }
// "Not there": the name, or a folder on its way, does not exist (ENOENT,
// ENOTDIR; ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_INVALID_NAME,
// ERROR_DIRECTORY). Every other error is "could not look", and nothing may
// be deleted or judged on its strength.
bool IsMissing(std::error_code error);
// Whether MoveFile refused because the caller must copy then delete instead:
// the rename would cross devices (EXDEV, bind mounts included;
// ERROR_NOT_SAME_DEVICE) or the source is a link, which is never renamed.
bool MoveNeedsCopy(std::error_code error);

// A T, or the error that kept it from being made.
template <typename T>
class ErrorOr {
 public:
  ErrorOr(T value) : value_(std::move(value)) {}  // NOLINT: implicit by design
  // An empty error is a caller's mistake; it still never reads as success.
  ErrorOr(std::error_code error)  // NOLINT: implicit by design
      : error_(error ? error : std::make_error_code(std::errc::io_error)) {}

  explicit operator bool() const { return value_.has_value(); }
  std::error_code error() const { return error_; }
  T& operator*() { return *value_; }
  const T& operator*() const { return *value_; }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }

 private:
  std::optional<T> value_;
  std::error_code error_;
};

}  // namespace vx
