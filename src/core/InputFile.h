// openInputFile: opens a file of the working directory for reading as a text
// stream. On Linux a stream also opens a directory, which then reads as an
// empty file; every reader of the gate must see that as "does not open".
// Stateless; any thread may call it.
#ifndef QUORVANTEL_CORE_INPUTFILE_H_
#define QUORVANTEL_CORE_INPUTFILE_H_

#include <fstream>
#include <string>

// True when `path` opened into `in` and is not a directory.
bool openInputFile(std::ifstream& in, const std::string& path);

#endif  // QUORVANTEL_CORE_INPUTFILE_H_
