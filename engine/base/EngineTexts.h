// The table engine's user-visible texts, verbatim: error messages by code and the list errors.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/base/EngineErrorCodes.h"

namespace engine::texts {

// A message is a row of pieces: fixed text, or a field of the error context put in as it stands.
enum class ContextField : std::uint8_t { None, FileName, FieldName, IndexName, ExtraText, OsErrorNumber };

struct MessagePiece {
    constexpr MessagePiece() = default;
    constexpr MessagePiece(const char* text) : literal(text) {}
    constexpr MessagePiece(ContextField contextField) : field(contextField) {}

    std::string_view literal;
    ContextField field = ContextField::None;
};

inline constexpr MessagePiece FileName{ContextField::FileName};
inline constexpr MessagePiece FieldName{ContextField::FieldName};
inline constexpr MessagePiece IndexName{ContextField::IndexName};
inline constexpr MessagePiece ExtraText{ContextField::ExtraText};
inline constexpr MessagePiece OsErrorNumber{ContextField::OsErrorNumber};

// The longest row has seven pieces.
inline constexpr int MaxMessagePieces = 7;

struct ErrorText {
    std::uint16_t code;
    MessagePiece pieces[MaxMessagePieces];
};

// Sorted by code, so that a lookup can search it.
inline constexpr ErrorText ErrorTexts[] = {
    {ErrBeginningOfFile, {"Beginning of file encountered in data file ", FileName}},
    {ErrEndOfFile, {"End of file encountered in data file ", FileName}},
    {ErrKeyNotFound, {"Key not found in index ", IndexName, " of data file ", FileName}},
    {ErrRecordNotFound, {"Record not found in data file ", FileName}},
    {ErrEndOfBlob, {"End of blob data in data file ", FileName, " reached prematurely"}},
    {ErrHeaderCorrupt, {"Header information corrupt in data file ", FileName}},
    {ErrRecordBuffersCorrupt, {"Data record buffers corrupt in data file ", FileName}},
    {ErrBlobBuffersCorrupt, {"BLOB block buffers corrupt in data file ", FileName}},
    {ErrIndexPagesCorrupt, {"Index page buffers corrupt in data file ", FileName}},
    {ErrRead, {"Error reading from data file ", FileName}},
    {ErrWrite, {"Error writing to data file ", FileName}},
    {ErrDelete, {"Cannot delete data file ", FileName}},
    {ErrHeaderAccess, {"Error accessing file header information for data file ", FileName}},
    {ErrRecordSizeExceeded, {"Maximum record size exceeded in data file ", FileName}},
    {ErrFileFull, {"The data file ", FileName, " is full and cannot contain any more data"}},
    {ErrTooManyFilters, {"Too many filters defined for data file ", FileName}},
    {ErrIndexLimits,
     {"Maximum or minimum limits on number of indexes or fields in an index exceeded in data file ",
      FileName}},
    {ErrFieldLimits,
     {"Maximum or minimum limits on number of fields or field size exceeded in data file ", FileName}},
    {ErrTooManyBlobs, {"Too many blobs opened in data file ", FileName}},
    {ErrBlobFieldLimits,
     {"Too many blob fields or invalid blob block size specified for data file ", FileName}},
    {ErrDuplicateKey, {"Duplicate key found in index ", IndexName, " of data file ", FileName}},
    {ErrBelowMinimum,
     {"The value for the field ", FieldName, " in data file ", FileName, " is below the minimum ",
      "allowable value"}},
    {ErrAboveMaximum,
     {"The value for the field ", FieldName, " in data file ", FileName, " is above the maximum ",
      "allowable value"}},
    {ErrValueRequired, {"A value must be provided for the field ", FieldName, " in data file ", FileName}},
    {ErrInvalidField, {"Invalid field number or name ", FieldName, " specified for data file ", FileName}},
    {ErrPrimaryIndexExists,
     {"A primary index is already defined for data file ", FileName, " and cannot be added ", "again"}},
    {ErrInvalidBlobOffset, {"Invalid blob offset into data file ", FileName, " specified"}},
    {ErrInvalidFieldDefinition,
     {"Invalid field definition specified for the field ", FieldName, " in data file ", FileName}},
    {ErrInvalidValidityCheck,
     {"Invalid default, min or max validity check, or expression specified for ", FieldName, " in data file ",
      FileName}},
    {ErrIndexNameMissing, {"The secondary index name is missing or not specified for data file ", FileName}},
    {ErrInvalidPassword, {"Password provided for data file ", FileName, "is invalid"}},
    {ErrInvalidIndexName,
     {"Invalid secondary index name ", IndexName, " specified ", "for data file ", FileName}},
    {ErrInvalidIndexField,
     {"Invalid field number ", FieldName, " specified in ", "index ", IndexName, " for data file ",
      FileName}},
    {ErrInvalidKeySize, {"Invalid key size specified in index ", IndexName, " for data file ", FileName}},
    {ErrIndexExists, {"The secondary index ", IndexName, " already exists for data file ", FileName}},
    {ErrInvalidBlobLength, {"Invalid blob length in data file ", FileName}},
    {ErrInvalidBlobHandle, {"Invalid blob handle for data file ", FileName, " specified"}},
    {ErrFileInUse, {"Data file ", FileName, " is already in use"}},
    {ErrInvalidFieldName,
     {"Invalid or duplicate field name ", FieldName, " specified for data file ", FileName}},
    {ErrInvalidFilterHandle, {"Invalid filter handle specified for data file ", FileName}},
    {ErrInvalidFilterExpression, {"Invalid filter expression specified for data file ", FileName}},
    {ErrPrimaryIndexRemoval, {"The primary index cannot be removed from data file ", FileName}},
    {ErrFileLocked, {"The data file ", FileName, " is already locked by another user"}},
    {ErrCannotUnlock, {"Cannot unlock data file or record in data file ", FileName}},
    {ErrGeneralLockFailure, {"General lock failure with data file ", FileName}},
    {ErrMustBeExclusive, {"Data file ", FileName, " must be opened exclusively"}},
    {ErrRecordInUse, {"Record in data file ", FileName, " is in use by another user"}},
    {ErrInsufficientRights, {"Insufficient rights to data file ", FileName, ", a password is required"}},
    {ErrInvalidBlobField, {"Invalid blob field ", FieldName, " specified for data file ", FileName}},
    {ErrEngineNotInitialized, {"TARNIS engine not initialized"}},
    {ErrInvalidPath, {"Invalid path or file name for data file ", FileName}},
    {ErrTooManyFilesOpen, {"Too many files open while attempting to open data file ", FileName}},
    {ErrAccessDenied, {"Access denied to data file ", FileName}},
    {ErrInvalidFileHandle, {"Invalid file handle for data file ", FileName}},
    {ErrOutOfMemory, {"There is insufficient operating system memory available for the current operation"}},
    {ErrInvalidMemoryFileLength, {"Invalid length for in-memory data file ", FileName}},
    {ErrDeviceAccessDenied, {"Access denied to logical operating system device for data file ", FileName}},
    {ErrFileMoved, {"Data file ", FileName, " has been moved"}},
    {ErrOsError,
     {"An unknown operating system error #", OsErrorNumber, " occurred with data file ", FileName}},
    {ErrSql, {"SQL - ", ExtraText}},
    {ErrWrongVersion, {"Data file ", FileName, " is not the correct version"}},
    {ErrInvalidIndexFieldType,
     {"Invalid field type specified for index ", IndexName, " in data file ", FileName}},
    {ErrLanguageDriver, {"The language driver for data file ", FileName, " is not available or installed"}},
};

// The text of every code without a row, 0 included.
inline constexpr ErrorText UnknownErrorText = {ErrNone, {"Unknown error occurred with data file ", FileName}};

// Every engine exception's message starts with this, then the code in decimal, a blank and the text.
inline constexpr std::string_view EngineErrorPrefix = "TARNIS Engine Error # ";

// List errors; "%d" stands for the offending value.
inline constexpr std::string_view ListIndexError = "List index out of bounds (%d)";
inline constexpr std::string_view ListCapacityError = "List capacity out of bounds (%d)";
inline constexpr std::string_view ListCountError = "List count out of bounds (%d)";

// Truth values as texts; reading them ignores letter case. "%s" stands for the text that is neither.
inline constexpr std::string_view TrueText = "True";
inline constexpr std::string_view FalseText = "False";
inline constexpr std::string_view InvalidBoolean = "'%s' is not a valid boolean value";

// The file layer's trace log, in the current directory, and its lines; numbers follow in decimal.
inline constexpr std::string_view TraceLogName = "tarnisio.log";
inline constexpr std::string_view TraceOpen = "Open of file ";
inline constexpr std::string_view TraceClose = "Close of file ";
inline constexpr std::string_view TraceCreate = "Creation of file ";
inline constexpr std::string_view TraceDelete = "Deletion of file ";
inline constexpr std::string_view TraceRename = "Rename of file ";
inline constexpr std::string_view TraceCopy = "Copy of file ";
inline constexpr std::string_view TraceTo = " to ";
inline constexpr std::string_view TraceRead = "Read from file ";
inline constexpr std::string_view TraceWrite = "Write to file ";
inline constexpr std::string_view TraceOf = " of ";
inline constexpr std::string_view TraceFlush = "Flush to disk for file ";
inline constexpr std::string_view TraceSeek = "Seek in file ";
inline constexpr std::string_view TraceSeekFrom = " from ";
inline constexpr std::string_view TraceSeekTo = " to position ";
inline constexpr std::string_view TraceGetSize = "Get size of file ";
inline constexpr std::string_view TraceFileExists = "File exists test for file ";
inline constexpr std::string_view TraceLock = "Lock in file ";
inline constexpr std::string_view TraceUnlock = "Unlock in file ";
inline constexpr std::string_view TraceRangeFrom = " from position ";
inline constexpr std::string_view TraceRangeFor = " for ";

// The repair log's messages about large-object chains: the text, the record's slot number in decimal, the
// separator and the ending.
inline constexpr std::string_view RepairInvalidBlockLink =
    "Invalid intra-block pointer in BLOB file for physical record # ";
inline constexpr std::string_view RepairRecursiveBlockLink =
    "Recursive intra-block pointer in BLOB file for physical record # ";
inline constexpr std::string_view RepairSeparator = ", ";
inline constexpr std::string_view RepairFixed = "error fixed";

// The name errors give the primary index, which has no name of its own.
inline constexpr std::string_view PrimaryIndexName = "Primary";
// The name of the internal index of record statuses, slot 31 of every index file.
inline constexpr std::string_view SysDeletedIndexName = "Sys Deleted";

// The extra text of 10249 when a handle asks for a lock that its own read or write lock excludes.
inline constexpr std::string_view OwnReadLockHeld = "the handle holds its own read lock";
inline constexpr std::string_view OwnWriteLockHeld = "the handle holds its own write lock";

}  // namespace engine::texts
