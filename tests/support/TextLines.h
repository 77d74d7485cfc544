// Helpers for checking what the gate wrote: its console captures, list files
// and decision log are plain text, one record per line.
#ifndef QUORVANTEL_TESTS_SUPPORT_TEXTLINES_H_
#define QUORVANTEL_TESTS_SUPPORT_TEXTLINES_H_

#include <cstddef>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

// The lines of `text`, without their line feeds. A last line that lacks its
// line feed is kept, so a partial line shows.
std::vector<std::string> splitLines(const std::string& text);

// How often each line occurs.
std::map<std::string, int> countLines(const std::string& text);

// Occurrences of `needle` in `text`, overlapping ones included.
size_t countOf(const std::string& text, const std::string& needle);

// Everything the decision-log files under `workDir`/logs hold, whatever the
// days they are named after.
std::string decisionLogOf(const std::filesystem::path& workDir);

#endif  // QUORVANTEL_TESTS_SUPPORT_TEXTLINES_H_
