// The operating-system services the engine calls directly: names, file creation and copy, share locks,
// sleeping.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

namespace engine {

// Every descriptor locks this one byte, above every lock range the engine uses, to express its share mode:
// shared opens read-lock it, exclusive opens and destructive operations write-lock it.
inline constexpr off_t ShareByteOffset = 0x80000000;

// An engine file name (Windows-1252, "\" or "/" between parts) as the operating system takes it: UTF-8 with
// "/".
std::string ToOsPath(std::string_view engineName);
// The process's current directory as an engine name; empty when it cannot be read.
std::string CurrentDirectory();

// Creates the named file empty, failing when it exists. Answers 0 or minus the errno.
int ReserveNewFile(std::string_view engineName);
// Takes the descriptor's share byte, exclusively or shared, without waiting. Answers 0 or minus the errno.
int LockShareByte(int fd, bool exclusive) noexcept;

// Copies the whole open file, read from offset 0, into the named file, which is created or emptied once no
// other handle holds it. Answers 0, or minus the errno of the first failing call after removing the partial
// copy.
int CopyFileByHandle(int sourceFd, std::string_view targetName);

// Sleeps until more than the given number of milliseconds have passed on the steady clock.
void Delay(int milliseconds);

}  // namespace engine
