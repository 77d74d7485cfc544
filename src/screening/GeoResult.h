// GeoResult: the verdict of one geo lookup. A plain record; the lookup that
// returns it owns nothing and shares nothing with other threads.
#ifndef QUORVANTEL_SCREENING_GEORESULT_H_
#define QUORVANTEL_SCREENING_GEORESULT_H_

#include <string>

struct GeoResult {
  // True only for a 200 answer that does not report the country code CN.
  bool isForeign;
  // The country text of the answer, or "Unknown", "CN" or "Foreign".
  std::string country;
};

#endif  // QUORVANTEL_SCREENING_GEORESULT_H_
