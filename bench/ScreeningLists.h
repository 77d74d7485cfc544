// Lists of the size a busy site keeps, for the benchmarks: denied user-agent
// fragments and URL keywords led by the well-known scrapers and attack paths,
// filled up with made-up ones of the same shapes. None of them matches
// kBrowser or kPage, so a passing request walks every entry.
#ifndef QUORVANTEL_BENCH_SCREENINGLISTS_H_
#define QUORVANTEL_BENCH_SCREENINGLISTS_H_

#include <cstddef>
#include <string>

namespace screening_lists {

inline constexpr char kBrowser[] =
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, "
    "like Gecko) Chrome/120.0.0.0 Safari/537.36";
inline constexpr char kPage[] = "/index.html?article=4711&page=3";

// `count` entries, one per line, in the files' format.
std::string userAgentFragments(size_t count);
std::string urlKeywords(size_t count);

// "10.x.y.z" for n below 2^24.
std::string address(size_t n);

}  // namespace screening_lists

#endif  // QUORVANTEL_BENCH_SCREENINGLISTS_H_
