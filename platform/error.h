#pragma once
// Errors raised across the plug-in boundary.
//
// On the original platform a failing call raised an error carrying a number and
// a description; a "trap" caught it. Here that is a C++ exception of this one
// type. The plug-in, the host and the host's object library are built with the
// same compiler and standard library, so the exception crosses module
// boundaries intact.

#include <stdexcept>
#include <string>

namespace orvex {

class Error : public std::runtime_error {
 public:
  Error(int number, std::string description);

  int number() const noexcept { return number_; }
  const std::string& description() const noexcept { return description_; }

 private:
  int number_;
  std::string description_;
};

// Numbers for errors the platform layer raises itself, taken from the original
// runtime so that hosts comparing numbers see familiar values.
namespace error_number {
inline constexpr int kInvalidProcedureCall = 5;
inline constexpr int kOverflow = 6;
inline constexpr int kOutOfMemory = 7;
inline constexpr int kSubscriptOutOfRange = 9;
inline constexpr int kTypeMismatch = 13;
inline constexpr int kObjectVariableNotSet = 91;
inline constexpr int kObjectRequired = 424;
inline constexpr int kCannotCreateObject = 429;
inline constexpr int kPropertyNotSupported = 438;
inline constexpr int kKeyAlreadyAssociated = 457;
inline constexpr int kNotImplemented = 445;
inline constexpr int kFileNotFound = 53;
inline constexpr int kPathNotFound = 76;
inline constexpr int kAutomationError = 440;
inline constexpr int kElementNotFound = 32811;
}  // namespace error_number

[[noreturn]] void Raise(int number, std::string description);

}  // namespace orvex
