// The data-access framework's user-visible texts, verbatim; "%s" slots are filled with rtl::Format.
#pragma once

#include <string_view>

namespace db {

// Editing.
inline constexpr std::string_view kNotEditing = "Dataset not in edit or insert mode";
inline constexpr std::string_view kFieldReadOnly = "Field '%s' cannot be modified";
inline constexpr std::string_view kNotIndexField = "Field '%s' is not indexed and cannot be modified";
inline constexpr std::string_view kDataSetReadOnly = "Cannot modify a read-only dataset";
inline constexpr std::string_view kFieldRequired = "Field '%s' must have a value";
inline constexpr std::string_view kRecordChanged = "Record not found or changed by another user";

// A dataset in the wrong state for an operation.
inline constexpr std::string_view kDataSetOpen = "Cannot perform this operation on an open dataset";
inline constexpr std::string_view kDataSetClosed = "Cannot perform this operation on a closed dataset";
inline constexpr std::string_view kDataSetEmpty = "Cannot perform this operation on an empty dataset";

// Data sources and links.
inline constexpr std::string_view kCircularDataLink = "Circular datalinks are not allowed";

// Field and index definitions.
inline constexpr std::string_view kFieldNotFound = "Field '%s' not found";
inline constexpr std::string_view kIndexNotFound = "Index '%s' not found";
inline constexpr std::string_view kNoIndexForFields = "No index for fields '%s'";
inline constexpr std::string_view kFieldIndexError = "Field index out of range";
inline constexpr std::string_view kIndexFieldMissing = "Cannot access index field '%s'";
inline constexpr std::string_view kDuplicateFieldName = "Duplicate field name '%s'";
inline constexpr std::string_view kFieldTypeMismatch = "Type mismatch for field '%s'";
inline constexpr std::string_view kFieldHasNoDataSet = "Field '%s' has no dataset";
inline constexpr std::string_view kInvalidFieldSize = "Invalid field size";

// Parameters of a query.
inline constexpr std::string_view kParamNotFound = "Parameter '%s' not found";

// Field values. The slot of the range message is the value as text.
inline constexpr std::string_view kFieldRangeError = "Value %s is out of range for field '%s'";
inline constexpr std::string_view kFieldAccessError = "Invalid type conversion for field '%s'";
inline constexpr std::string_view kInvalidVarCast = "Invalid variant type conversion";
inline constexpr std::string_view kTextTrue = "True";
inline constexpr std::string_view kTextFalse = "False";
inline constexpr std::string_view kInvalidBoolean = "'%s' is not a valid boolean value";

// What a large-object field shows in place of its contents.
inline constexpr std::string_view kMemoText = "(Memo)";
inline constexpr std::string_view kBlobText = "(Blob)";

}  // namespace db
