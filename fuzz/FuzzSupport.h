// Shared by the fuzz targets: a private working directory, a silenced
// console and a way to give up loudly when an invariant breaks.
#ifndef QUORVANTEL_FUZZ_FUZZSUPPORT_H_
#define QUORVANTEL_FUZZ_FUZZSUPPORT_H_

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

// A fresh directory under TMPDIR, made the working directory, for the life
// of the fuzzing process; the components resolve "config" and "logs" in it.
// libFuzzer ends without running exit handlers, so whoever runs the target
// removes it.
const std::filesystem::path& fuzzWorkDir();

// Sends std::cout and std::cerr nowhere from the first call on: the
// components report on the console, and the fuzzer's own output must stay
// readable and fast.
void silenceConsole();

// Both of the above, for a target's LLVMFuzzerInitialize.
void prepareWorkDirAndConsole();

std::string bytesOf(const uint8_t* data, size_t size);
void writeFile(const std::filesystem::path& path, const std::string& content);
std::string readFile(const std::filesystem::path& path);

// Prints what broke to the real standard error and aborts, which libFuzzer
// records as a crash with the input that caused it.
[[noreturn]] void fail(const std::string& what);

#endif  // QUORVANTEL_FUZZ_FUZZSUPPORT_H_
