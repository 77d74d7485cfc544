// VerifyJob: one queued crawler verification, a plain record copied into and
// out of BotGuard's queue under its queue lock.
#ifndef QUORVANTEL_BOTGUARD_VERIFYJOB_H_
#define QUORVANTEL_BOTGUARD_VERIFYJOB_H_

#include <string>

struct VerifyJob {
  std::string ip;  // the address text exactly as the request carried it
  // As received, not lower-cased. Kept with the job, though the verdict rests
  // on the address alone.
  std::string userAgent;
};

#endif  // QUORVANTEL_BOTGUARD_VERIFYJOB_H_
