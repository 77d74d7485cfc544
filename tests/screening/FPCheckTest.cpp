#include "screening/FPCheck.h"

#include <gtest/gtest.h>

#include "support/ConsoleCapture.h"
#include "support/TempWorkDir.h"

namespace {

TEST(FPCheckTest, ListsLoadWithLineEndsTrimmedAndBlock) {
  TempWorkDir dir;
  dir.write("config/BadUrlKeyWord.txt", "login\r\nadmin\r\n");
  dir.write("config/BadIPs.txt", "10.0.0.1 \r\n");
  dir.write("config/NotAllowed.txt", "  curl\r\n\xc5\xc0\n");
  ConsoleCapture console;
  FPCheck check("config");
  // User agents: ASCII letters fold, other bytes and leading blanks do not.
  for (const char* denied : {"x  CURL/8", "\xc5\xc0"})
    EXPECT_FALSE(check.isUserAgentAllowed(denied)) << denied;
  for (const char* allowed : {"", "curl/8", "\xe5\xc0"})
    EXPECT_TRUE(check.isUserAgentAllowed(allowed)) << allowed;
  EXPECT_TRUE(check.isBadIp("10.0.0.1"));
  console.clear();
  EXPECT_FALSE(check.checkBadUrlKeyword("10.0.0.2", "/logi"));
  for (int i = 0; i < 2; ++i)
    EXPECT_TRUE(check.checkBadUrlKeyword("10.0.0.2", "/ADMIN/Login"));
  // A decoded line break stays in memory; the file refuses it.
  EXPECT_TRUE(check.checkBadUrlKeyword("10.0.0.3\n10.0.0.4", "/admin"));
  EXPECT_TRUE(check.isBadIp("10.0.0.3\n10.0.0.4"));
  EXPECT_FALSE(check.isBadIp("10.0.0.4"));
  EXPECT_EQ(dir.read("config/BadIPs.txt"), "10.0.0.1 \r\n10.0.0.2\n");
  // One line per address, naming the first keyword in file order.
  EXPECT_EQ(console.out(),
            "[\xb6\xf1\xd2\xe2\xb7\xc3\xce\xca]:Bad IP 10.0.0.2 containing "
            "URLkeyword: login\n"
            "[\xb6\xf1\xd2\xe2\xb7\xc3\xce\xca]:Bad IP 10.0.0.3\\x0a10.0.0.4 "
            "containing URLkeyword: admin\n");
}

}  // namespace
