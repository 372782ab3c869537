// The table engine's error codes: 16-bit numbers whose high byte is the error class, 0 meaning success.
#pragma once

#include <cstdint>

namespace engine {

// Classes by high byte: 0x22 not found and end of data, 0x23 corrupt buffers, 0x24 input/output, 0x25 limits,
// 0x26 integrity, 0x27 invalid request, 0x28 lock conflict, 0x29 rights and passwords, 0x2A invalid context,
// 0x2B operating-system errors, 0x2E SQL, 0x2F version, 0x30 index definition, 0x3E language driver.
// The values are the engine's published error numbers: callers, messages and stored logs rely on them.
inline constexpr std::uint16_t ErrNone = 0;
inline constexpr std::uint16_t ErrBeginningOfFile = 0x2201;          // 8705
inline constexpr std::uint16_t ErrEndOfFile = 0x2202;                // 8706
inline constexpr std::uint16_t ErrKeyNotFound = 0x2204;              // 8708
inline constexpr std::uint16_t ErrRecordNotFound = 0x2206;           // 8710
inline constexpr std::uint16_t ErrEndOfBlob = 0x2207;                // 8711
inline constexpr std::uint16_t ErrHeaderCorrupt = 0x2301;            // 8961
inline constexpr std::uint16_t ErrRecordBuffersCorrupt = 0x2302;     // 8962
inline constexpr std::uint16_t ErrBlobBuffersCorrupt = 0x2303;       // 8963
inline constexpr std::uint16_t ErrIndexPagesCorrupt = 0x2305;        // 8965
inline constexpr std::uint16_t ErrRead = 0x2401;                     // 9217
inline constexpr std::uint16_t ErrWrite = 0x2402;                    // 9218
inline constexpr std::uint16_t ErrDelete = 0x2404;                   // 9220
inline constexpr std::uint16_t ErrHeaderAccess = 0x2405;             // 9221
inline constexpr std::uint16_t ErrRecordSizeExceeded = 0x2505;       // 9477
inline constexpr std::uint16_t ErrFileFull = 0x2507;                 // 9479
inline constexpr std::uint16_t ErrTooManyFilters = 0x250A;           // 9482
inline constexpr std::uint16_t ErrIndexLimits = 0x250F;              // 9487
inline constexpr std::uint16_t ErrFieldLimits = 0x2514;              // 9492
inline constexpr std::uint16_t ErrTooManyBlobs = 0x2516;             // 9494
inline constexpr std::uint16_t ErrBlobFieldLimits = 0x251A;          // 9498
inline constexpr std::uint16_t ErrDuplicateKey = 0x2601;             // 9729
inline constexpr std::uint16_t ErrBelowMinimum = 0x2602;             // 9730
inline constexpr std::uint16_t ErrAboveMaximum = 0x2603;             // 9731
inline constexpr std::uint16_t ErrValueRequired = 0x2604;            // 9732
inline constexpr std::uint16_t ErrInvalidField = 0x2701;             // 9985
inline constexpr std::uint16_t ErrPrimaryIndexExists = 0x2709;       // 9993
inline constexpr std::uint16_t ErrInvalidBlobOffset = 0x270E;        // 9998
inline constexpr std::uint16_t ErrInvalidFieldDefinition = 0x2710;   // 10000
inline constexpr std::uint16_t ErrInvalidValidityCheck = 0x2716;     // 10006
inline constexpr std::uint16_t ErrIndexNameMissing = 0x271A;         // 10010
inline constexpr std::uint16_t ErrInvalidPassword = 0x271F;          // 10015
inline constexpr std::uint16_t ErrInvalidIndexName = 0x2726;         // 10022
inline constexpr std::uint16_t ErrInvalidIndexField = 0x2727;        // 10023
inline constexpr std::uint16_t ErrInvalidKeySize = 0x272A;           // 10026
inline constexpr std::uint16_t ErrIndexExists = 0x272B;              // 10027
inline constexpr std::uint16_t ErrInvalidBlobLength = 0x272D;        // 10029
inline constexpr std::uint16_t ErrInvalidBlobHandle = 0x272E;        // 10030
inline constexpr std::uint16_t ErrFileInUse = 0x272F;                // 10031
inline constexpr std::uint16_t ErrInvalidFieldName = 0x2736;         // 10038
inline constexpr std::uint16_t ErrInvalidFilterHandle = 0x2742;      // 10050
inline constexpr std::uint16_t ErrInvalidFilterExpression = 0x2743;  // 10051
inline constexpr std::uint16_t ErrPrimaryIndexRemoval = 0x2747;      // 10055
inline constexpr std::uint16_t ErrFileLocked = 0x2801;               // 10241
inline constexpr std::uint16_t ErrCannotUnlock = 0x2802;             // 10242
inline constexpr std::uint16_t ErrGeneralLockFailure = 0x2809;       // 10249
inline constexpr std::uint16_t ErrMustBeExclusive = 0x280D;          // 10253
inline constexpr std::uint16_t ErrRecordInUse = 0x2812;              // 10258
inline constexpr std::uint16_t ErrInsufficientRights = 0x2902;       // 10498
inline constexpr std::uint16_t ErrInvalidBlobField = 0x2A01;         // 10753
inline constexpr std::uint16_t ErrEngineNotInitialized = 0x2A06;     // 10758
inline constexpr std::uint16_t ErrInvalidPath = 0x2B02;              // 11010
inline constexpr std::uint16_t ErrTooManyFilesOpen = 0x2B04;         // 11012
inline constexpr std::uint16_t ErrAccessDenied = 0x2B05;             // 11013
inline constexpr std::uint16_t ErrInvalidFileHandle = 0x2B06;        // 11014
inline constexpr std::uint16_t ErrOutOfMemory = 0x2B08;              // 11016
inline constexpr std::uint16_t ErrInvalidMemoryFileLength = 0x2B09;  // 11017
inline constexpr std::uint16_t ErrDeviceAccessDenied = 0x2B0F;       // 11023
inline constexpr std::uint16_t ErrFileMoved = 0x2B11;                // 11025
inline constexpr std::uint16_t ErrOsError = 0x2B27;                  // 11047
inline constexpr std::uint16_t ErrSql = 0x2EAD;                      // 11949
inline constexpr std::uint16_t ErrWrongVersion = 0x2F03;             // 12035
inline constexpr std::uint16_t ErrInvalidIndexFieldType = 0x3004;    // 12292
inline constexpr std::uint16_t ErrLanguageDriver = 0x3E06;           // 15878

}  // namespace engine
