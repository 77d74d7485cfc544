#include "ScreeningLists.h"

#include <vector>

namespace screening_lists {

namespace {

const std::vector<std::string> kKnownFragments = {"python-requests",
                                                  "Scrapy",
                                                  "curl/",
                                                  "Wget",
                                                  "Go-http-client",
                                                  "libwww-perl",
                                                  "HttpClient",
                                                  "PhantomJS",
                                                  "HeadlessChrome",
                                                  "okhttp",
                                                  "axios/",
                                                  "node-fetch",
                                                  "aiohttp",
                                                  "python-httpx",
                                                  "masscan",
                                                  "zgrab",
                                                  "Nikto",
                                                  "sqlmap",
                                                  "Nmap",
                                                  "Nuclei",
                                                  "WPScan",
                                                  "DirBuster",
                                                  "gobuster",
                                                  "Fuzz Faster",
                                                  "feroxbuster",
                                                  "AhrefsBot",
                                                  "SemrushBot",
                                                  "MJ12bot",
                                                  "DotBot",
                                                  "BLEXBot",
                                                  "PetalBot",
                                                  "Bytespider",
                                                  "GPTBot",
                                                  "CCBot",
                                                  "DataForSeoBot",
                                                  "serpstatbot",
                                                  "Java/1.",
                                                  "Apache-HttpClient",
                                                  "Jakarta Commons",
                                                  "Python-urllib"};

const std::vector<std::string> kKnownKeywords = {"wp-login",
                                                 ".env",
                                                 "phpmyadmin",
                                                 "/.git/",
                                                 "xmlrpc.php",
                                                 "etc/passwd",
                                                 "../",
                                                 "union select",
                                                 "wp-admin",
                                                 ".aws/credentials",
                                                 "config.php.bak",
                                                 "/cgi-bin/",
                                                 "shell.php",
                                                 "eval(",
                                                 "<script",
                                                 "base64_decode",
                                                 "/actuator/",
                                                 "/solr/",
                                                 "/jenkins/",
                                                 ".DS_Store",
                                                 "/server-status",
                                                 "/.svn/",
                                                 "web.config",
                                                 "/vendor/phpunit",
                                                 "boaform",
                                                 "/HNAP1",
                                                 "setup.cgi",
                                                 "/owa/",
                                                 "sleep(",
                                                 "information_schema"};

// Known entries first, then made-up ones cycling through a few shapes.
std::string fill(const std::vector<std::string>& known, size_t count,
                 const std::vector<std::string>& shapes) {
  std::string lines;
  for (size_t i = 0; i < count; ++i) {
    if (i < known.size()) {
      lines += known[i];
    } else {
      const std::string& shape = shapes[i % shapes.size()];
      const size_t star = shape.find('*');
      lines +=
          shape.substr(0, star) + std::to_string(i) + shape.substr(star + 1);
    }
    lines += '\n';
  }
  return lines;
}

}  // namespace

std::string userAgentFragments(size_t count) {
  return fill(kKnownFragments, count,
              {"Harvester/*", "scan-agent-*", "SiteSucker *", "crawl*er",
               "DataMiner*", "LinkWalker/*"});
}

std::string urlKeywords(size_t count) {
  return fill(kKnownKeywords, count,
              {"/backup-*.zip", "/old_site_*/", "admin_*.php", "dump*.sql",
               "/.well-hidden/*", "id=*' or"});
}

std::string address(size_t n) {
  return "10." + std::to_string((n >> 16) & 255) + "." +
         std::to_string((n >> 8) & 255) + "." + std::to_string(n & 255);
}

}  // namespace screening_lists
