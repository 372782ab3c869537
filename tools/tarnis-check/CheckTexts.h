// tarnis-check's texts, verbatim: the command's messages and every finding. "%s" stands for a value.
#pragma once

#include <string_view>

namespace tarnischeck::texts {

inline constexpr std::string_view Usage = "usage: tarnis-check TABLE";
inline constexpr std::string_view CannotRead = "tarnis-check: cannot read %s: %s";
// Level, file, place and text.
inline constexpr std::string_view FindingLine = "%s: %s: %s: %s";
inline constexpr std::string_view ErrorLevel = "error";
inline constexpr std::string_view WarningLevel = "warning";

// Places in a file.
inline constexpr std::string_view FilePlace = "file";
inline constexpr std::string_view HeaderPlace = "header";
inline constexpr std::string_view DescriptorsPlace = "descriptors";
inline constexpr std::string_view FieldPlace = "field %s";
inline constexpr std::string_view SlotAreaPlace = "slot area";
inline constexpr std::string_view SlotPlace = "slot %s";
inline constexpr std::string_view SlotsPlace = "slots";
inline constexpr std::string_view ChainPlace = "free-slot chain";

// Record file header.
inline constexpr std::string_view ShortHeader = "the file has %s bytes, fewer than the 127 of its header";
inline constexpr std::string_view DescriptionTooLong =
    "the description's length byte is %s, more than its room of 50";
inline constexpr std::string_view PasswordTooLong =
    "the password's length byte is %s, more than its room of 15";
inline constexpr std::string_view WrongVersion = "the version is %s, not 3";
inline constexpr std::string_view TooManyFields = "the field count is %s, more than 1024";
inline constexpr std::string_view BadBlockSize =
    "the large-object block size is %s, neither 0 nor 64 to 65535";
inline constexpr std::string_view ProtectedPassword =
    "the table is protected but its password has %s characters, not 1 to 15";
inline constexpr std::string_view UnprotectedPassword =
    "the table is not protected but holds a password of %s characters";
inline constexpr std::string_view UnknownLocale = "language id %s with sort id %s names no installed locale";
inline constexpr std::string_view RecordIdTooLarge = "the last record ID is %s, above 2147483647";
inline constexpr std::string_view ImageChangedMark = "the image-changed mark is %s, neither 0 nor 1";
inline constexpr std::string_view UnusedHeaderBytes = "bytes 114 to 126 are not all zero";
inline constexpr std::string_view BlobCountMismatch =
    "the large-object field count is %s, but %s fields have type 3";
inline constexpr std::string_view TooManyBlobFields = "%s large-object fields, more than 32";
inline constexpr std::string_view RecordSizeMismatch = "the record size is %s, but the stored fields take %s";
inline constexpr std::string_view CalcAreaMismatch =
    "the calculated-field area is %s, but the calculated fields take %s";
inline constexpr std::string_view RecordImageTooLarge =
    "record size and calculated-field area come to %s bytes, more than 65535";

// Field descriptors.
inline constexpr std::string_view ShortDescriptors =
    "the file has %s bytes, fewer than the %s that the header and %s descriptors take";
inline constexpr std::string_view FieldNumberWrong = "the field number is %s, not its position %s";
inline constexpr std::string_view NameTooLong = "the name's length byte is %s, more than its room of 30";
inline constexpr std::string_view TextTooLong = "the %s's length byte is %s, more than its room of 50";
inline constexpr std::string_view MinimumText = "minimum";
inline constexpr std::string_view MaximumText = "maximum";
inline constexpr std::string_view DefaultText = "default";
inline constexpr std::string_view NameEmpty = "the name is empty";
inline constexpr std::string_view NameNotTrimmed = "the name \"%s\" has blanks at its ends";
inline constexpr std::string_view NameNotLetter = "the name \"%s\" does not start with a letter";
inline constexpr std::string_view NameDuplicate =
    "the name \"%s\" is also the name of field %s, without regard to case";
inline constexpr std::string_view TypeZero = "the type is 0";
inline constexpr std::string_view SizeTooLarge = "the size is %s, more than 250";
inline constexpr std::string_view SizeNotZero = "the size is %s on type %s, which keeps no size";
inline constexpr std::string_view ScaleNotZero = "the scale is %s on type %s, which has none";
inline constexpr std::string_view StoredSizeWrong = "the stored size is %s, but type %s of size %s stores %s";
inline constexpr std::string_view StoredScaleWrong = "the stored scale is %s, not the scale %s";
inline constexpr std::string_view OffsetWrong = "the offset is %s, not %s";
inline constexpr std::string_view TextInvalid = "the %s \"%s\" is not a valid value of type %s";
inline constexpr std::string_view CompiledNotZero = "the compiled-expression bytes 504 to 507 are not zero";

// Slot area and slots.
inline constexpr std::string_view RecordSizeTooSmall =
    "the record size is %s, less than a record header's 9 bytes: the slots cannot be read";
inline constexpr std::string_view PartialSlot = "%s bytes of slots are not a whole number of %s-byte slots";
inline constexpr std::string_view SlotCountMismatch =
    "the file holds %s slots, but the next slot number is %s";
inline constexpr std::string_view BytesBeyondSlots =
    "%s bytes lie beyond the %s slots the header counts: an append cut short, which the next one writes over";
inline constexpr std::string_view BeyondAppendLimit = "%s slots of %s bytes pass the limit of the slot area";
inline constexpr std::string_view BadStatus = "the status is %s, neither 0 (active) nor 1 (deleted)";
inline constexpr std::string_view BadRecordId = "the record ID is %s, outside 1 to 2147483647";
inline constexpr std::string_view DuplicateRecordId = "the record ID %s is also the ID of active slot %s";
inline constexpr std::string_view OwnNumberWrong = "the active slot holds %s where its own number belongs";
inline constexpr std::string_view IdAboveLast = "the record ID %s is above the header's last record ID %s";
inline constexpr std::string_view MoreSlotsLikeThis = "%s further slots with the finding of slot %s";

// Free-slot chain.
inline constexpr std::string_view HeadOutOfRange =
    "the head is %s, not 0 and not below the next slot number %s";
inline constexpr std::string_view HeadBeyondSlots = "the head %s lies beyond the last slot %s";
inline constexpr std::string_view LinkOutOfRange = "its free-chain link %s lies beyond the last slot %s";
inline constexpr std::string_view ChainNotDeleted = "the slot is on the free-slot chain but not deleted";
inline constexpr std::string_view ChainLoop = "the slot is on the free-slot chain twice";
inline constexpr std::string_view OffChain = "the deleted slot is not on the free-slot chain";
inline constexpr std::string_view LinkWithoutPrimary =
    "the deleted slot links to %s, but a table without a primary index keeps no chain";

// Index file.
inline constexpr std::string_view IndexPlace = "index %s";
inline constexpr std::string_view FileMissing = "the file is missing";
inline constexpr std::string_view ShortIndexHeader =
    "the file has %s bytes, fewer than the 4096 of its header";
inline constexpr std::string_view EndOfFileWrong =
    "the end of file is %s, not a multiple of 4096 from 4096 to 2000003072";
inline constexpr std::string_view FileSizeDiffers = "the file has %s bytes, but the end of file is %s";
// Pages and blocks reach the file before the header that counts them: a sound file is never shorter.
inline constexpr std::string_view FileShorterThanEnd =
    "the file has %s bytes, fewer than its end of file %s";
inline constexpr std::string_view UndefinedSlotPages = "the slot defines no index, but its %s is %s";
inline constexpr std::string_view TooManySecondaryIndexes = "the secondary index count is %s, more than 30";
inline constexpr std::string_view UnusedSlotDefined =
    "the slot lies beyond the %s secondary indexes but has key length %s";
inline constexpr std::string_view RootText = "root";
inline constexpr std::string_view FreeHeadText = "free-list head";
inline constexpr std::string_view PageReferenceWrong =
    "the %s is %s, neither 0 nor a page offset below the end of file %s";
inline constexpr std::string_view KeyFieldCountTooLarge = "the key field count is %s, more than 16";
inline constexpr std::string_view KeyFieldOutside =
    "key field %s is field number %s, outside the table's %s fields";
inline constexpr std::string_view KeyFieldLargeObject = "key field %s is field %s, a large object";
inline constexpr std::string_view CompressionTooLarge = "the compression is %s, not 0 to 3";
inline constexpr std::string_view KeyLengthTooLarge = "the key length is %s, more than 1040";
inline constexpr std::string_view KeyLengthMismatch = "the key length is %s, but its fields give %s";
inline constexpr std::string_view IndexNameDuplicate =
    "the name \"%s\" is also the name of index %s, without regard to case";
inline constexpr std::string_view SysDeletedName = "the name is \"%s\", not \"Sys Deleted\"";
inline constexpr std::string_view SysDeletedKeyLength = "the key length is %s, not 5";
inline constexpr std::string_view SysDeletedFields = "the internal index has %s key fields, not none";
inline constexpr std::string_view SysDeletedCompression = "the internal index has compression %s, not 0";
inline constexpr std::string_view NoPrimaryFlagWrong =
    "the no-primary-index flag is %s, but index 0 has key length %s";
inline constexpr std::string_view RecordCountWrong =
    "the live record count is %s, but the record file holds %s active slots";
inline constexpr std::string_view UnusedBytes = "bytes %s to %s are not all zero";
// Index trees and free lists.
inline constexpr std::string_view PagesPlace = "pages";
inline constexpr std::string_view TreeOwner = "the tree of index %s";
inline constexpr std::string_view FreeListOwner = "the free list of index %s";
inline constexpr std::string_view ChildLinkWrong =
    "page %s entry %s links to %s, which is no page of the file";
inline constexpr std::string_view FreeLinkWrong =
    "the free list links from %s to %s, which is no page of the file";
inline constexpr std::string_view PageReachedTwice = "page %s is reached again from %s, after %s";
inline constexpr std::string_view PageUnreadable = "page %s cannot be read: %s";
inline constexpr std::string_view FileEndsInPage = "the file ends inside it";
inline constexpr std::string_view RootTypeWrong = "the root page %s has type %s, not 0 or 3";
inline constexpr std::string_view ChildTypeWrong = "page %s below the root has type %s, not 1 or 2";
inline constexpr std::string_view LeavesAtDifferentDepths =
    "page %s is a %s at depth %s, but page %s at the same depth is a %s";
inline constexpr std::string_view LeafText = "leaf";
inline constexpr std::string_view NodeText = "node";
inline constexpr std::string_view TreeTooDeep = "the tree goes deeper than %s levels";
inline constexpr std::string_view PageEmpty = "page %s in the tree has no entries";
inline constexpr std::string_view KeysNotIncreasing = "page %s entry %s is not above the entry before it";
inline constexpr std::string_view LevelNotIncreasing =
    "the first key of page %s is not above the last key of page %s before it";
inline constexpr std::string_view SeparatorWrong =
    "page %s entry %s does not hold the first key of its child %s";
inline constexpr std::string_view SubtreeCountWrong =
    "page %s entry %s counts %s keys, but its child %s holds %s";
inline constexpr std::string_view PriorLinkWrong = "page %s links back to %s, not to %s";
inline constexpr std::string_view NextLinkWrong = "page %s links on to %s, not to %s";
inline constexpr std::string_view TreeTotalWrong =
    "the tree holds %s keys, but the header counts %s live records";
inline constexpr std::string_view SysDeletedTotalWrong =
    "the tree holds %s keys, but the record file has %s slots";
inline constexpr std::string_view FreePageHasEntries = "free page %s holds %s entries";
inline constexpr std::string_view PageBelowHalf =
    "page %s holds %s entries, fewer than half its capacity of %s";
inline constexpr std::string_view OrphanPages =
    "%s pages are in no tree and on no free list, the first at %s";
inline constexpr std::string_view EntrySlotOutside = "page %s entry %s names slot %s, beyond the %s slots";
inline constexpr std::string_view EntrySlotDeleted = "page %s entry %s names slot %s, which is deleted";
inline constexpr std::string_view EntrySlotTwice =
    "page %s entry %s names slot %s, which an earlier entry names";
inline constexpr std::string_view SlotWithoutEntry = "slot %s has no entry";
inline constexpr std::string_view JournalChangeOpen =
    "the journal holds a change cut short: the table's files are half-written until the next program that "
    "opens the table puts it back";
inline constexpr std::string_view SlotInNoIndex =
    "active slot %s is in no index: it is neither found nor reused";
inline constexpr std::string_view EntryKeyWrong = "page %s entry %s does not hold the key of slot %s";
inline constexpr std::string_view KeyNotBuilt = "the key of slot %s cannot be built: %s";
inline constexpr std::string_view MoreKeyFindings = "%s further findings about the entries of this index";
// Large-object file.
inline constexpr std::string_view FreeListPlace = "free list";
inline constexpr std::string_view ValuePlace = "slot %s field %s";
inline constexpr std::string_view BlocksPlace = "blocks";
inline constexpr std::string_view ValuesPlace = "values";
inline constexpr std::string_view BlobFileMissing =
    "the table has large-object fields, but its large-object file is missing";
inline constexpr std::string_view BlobShortHeader = "the file has %s bytes, fewer than the 512 of its header";
inline constexpr std::string_view EndOfFileOffGrid =
    "the end of file %s is not on the grid of %s-byte blocks from 512 to the append limit";
inline constexpr std::string_view SizeNotEndOfFile = "the file has %s bytes, but its end of file is %s";
inline constexpr std::string_view BlobUnusedHeaderBytes = "bytes 18 to 511 are not all zero";
inline constexpr std::string_view FreeHeadInvalid = "the head %s names no block";
inline constexpr std::string_view LinkInvalid = "block %s links to %s, which names no block";
inline constexpr std::string_view FreeListCircular = "block %s is on the free list twice";
inline constexpr std::string_view OpenHandle =
    "the field holds %s, the handle of a value that was open when the record was written";
inline constexpr std::string_view FirstBlockInvalid = "the first block %s names no block";
inline constexpr std::string_view FirstHasPrevious = "the first block %s links back to %s";
inline constexpr std::string_view LengthZero = "the first block %s records a length of 0";
inline constexpr std::string_view BlockOwner = "block %s belongs to slot %s";
inline constexpr std::string_view PreviousWrong = "block %s links back to %s, not to %s";
inline constexpr std::string_view TotalNotFirst =
    "block %s records a length of %s, which only the first block may";
inline constexpr std::string_view UsedTooLarge = "block %s claims %s bytes used, more than its payload of %s";
inline constexpr std::string_view BlockNotFull =
    "block %s holds %s bytes, not a full %s, though the chain goes on";
inline constexpr std::string_view LastBlockUsed =
    "the last block %s holds %s bytes, but the length %s leaves %s";
inline constexpr std::string_view ChainShort = "the chain ends after %s blocks, but the length %s takes %s";
inline constexpr std::string_view ChainLong = "the chain goes on past the %s blocks that the length %s takes";
inline constexpr std::string_view BlockOnFreeList = "block %s is also on the free list";
inline constexpr std::string_view BlockTwiceInChain = "the chain reaches block %s twice";
inline constexpr std::string_view BlockInTwoChains = "block %s is also in the chain of slot %s field %s";
inline constexpr std::string_view OrphanBlocks =
    "%s blocks are in no chain and not on the free list, the first at %s";
inline constexpr std::string_view MoreValueFindings = "%s further findings about values";

}  // namespace tarnischeck::texts
