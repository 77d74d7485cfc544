// DecisionLog: the daily log of the gate's decisions, one line per logged
// request outcome in "logs/allowed_ips_<local date>.log" of the working
// directory.
//
// Owns only its wall clock; the files are the state. write() runs on the HTTP
// worker threads, any number at once: each line is formatted into one string
// and appended through ListFile, whose per-path lock makes concurrent lines
// land whole. The clock is called without a lock, so a test clock must be
// safe to call from several threads.
#ifndef QUORVANTEL_SCREENING_DECISIONLOG_H_
#define QUORVANTEL_SCREENING_DECISIONLOG_H_

#include <chrono>
#include <functional>
#include <string>

class DecisionLog {
 public:
  using WallClock = std::function<std::chrono::system_clock::time_point()>;

  // The real system clock.
  DecisionLog();
  // Test seam: a clock the test sets.
  explicit DecisionLog(WallClock clock);

  // Appends "<local time> IP: <ip> <tag> User-Agent: <userAgent>" to the file
  // of the local day, creating "logs" when it is missing. Control bytes of the
  // three fields are written as \xNN so that one call is always one line.
  // Throws std::filesystem::filesystem_error when "logs" cannot even be
  // tested for existence.
  void write(const std::string& ip, const std::string& tag,
             const std::string& userAgent) const;

 private:
  WallClock clock_;
};

// Makes sure "logs" exists in the working directory. A failed creation is
// reported on standard error, not thrown; a failed existence test throws.
void ensureLogsDirectory();

#endif  // QUORVANTEL_SCREENING_DECISIONLOG_H_
