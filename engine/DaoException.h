// CDaoException: how every engine operation reports failure. The code follows the numbering
// that clients of the original engine family test; the description is ours and names the
// object concerned.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "automation/Bstr.h"

namespace vorlix {

// The codes the engine raises.
namespace dao_error {
inline constexpr int32_t kEngineFailure = 3000;  // SQLite failed in a way no other code names
inline constexpr int32_t kInvalidArgument = 3001;
inline constexpr int32_t kTableExists = 3010;
inline constexpr int32_t kObjectExists = 3012;
inline constexpr int32_t kDuplicateValue = 3022;
inline constexpr int32_t kFileNotFound = 3024;
inline constexpr int32_t kReadOnly = 3027;
inline constexpr int32_t kInvalidPath = 3044;
inline constexpr int32_t kCannotOpen = 3051;
inline constexpr int32_t kNeedsIndex = 3019;
inline constexpr int32_t kCancelled = 3059;  // the client cancelled the call, or went away
inline constexpr int32_t kNoPendingUpdate = 3020;
inline constexpr int32_t kNoCurrentRecord = 3021;
inline constexpr int32_t kTooFewParameters = 3061;
inline constexpr int32_t kRowReturningQuery = 3065;
inline constexpr int32_t kSyntaxError = 3075;
inline constexpr int32_t kNoSuchTable = 3078;
inline constexpr int32_t kInvalidName = 3125;
// The database server cannot be reached, or the connection to it was lost.
inline constexpr int32_t kServerUnreachable = 3151;
inline constexpr int32_t kInvalidBookmark = 3159;
inline constexpr int32_t kValueTooLong = 3163;
inline constexpr int32_t kRecordDeleted = 3167;
inline constexpr int32_t kDuplicateField = 3191;
inline constexpr int32_t kRelatedRecordsExist = 3200;
inline constexpr int32_t kRelatedRecordRequired = 3201;
inline constexpr int32_t kDatabaseExists = 3204;
inline constexpr int32_t kInvalidOperation = 3219;
inline constexpr int32_t kRecordLocked = 3260;
inline constexpr int32_t kTableInUse = 3262;
inline constexpr int32_t kNoFields = 3264;
inline constexpr int32_t kItemNotFound = 3265;
inline constexpr int32_t kPrimaryKeyExists = 3283;
inline constexpr int32_t kIndexExists = 3284;
inline constexpr int32_t kPartOfRelation = 3303;
inline constexpr int32_t kRequiredIsNull = 3314;
inline constexpr int32_t kZeroLengthNotAllowed = 3315;
inline constexpr int32_t kNotADatabase = 3343;
inline constexpr int32_t kFileInUse = 3356;
inline constexpr int32_t kConversionError = 3421;
inline constexpr int32_t kNotAnIndex = 3800;
}  // namespace dao_error

class CDaoException : public std::exception {
 public:
  // description is UTF-8.
  CDaoException(int32_t code, std::string description)
      : code_(code), description_(std::move(description)) {}

  int32_t Code() const { return code_; }
  // The description as Automation text.
  Bstr Description() const;
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  int32_t code_;
  std::string description_;
};

[[noreturn]] void ThrowDao(int32_t code, std::string description);

// "'name'" for descriptions: the object a message is about, quoted.
std::string Quoted(const std::string& name);

}  // namespace vorlix
