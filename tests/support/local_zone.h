// Sets the process's local time zone for the life of the object, restoring the previous one.
#pragma once

#include <cstdlib>
#include <ctime>
#include <string>

namespace orvel::testing {

class LocalZone {
 public:
  explicit LocalZone(const char* zone) {
    const char* old = std::getenv("TZ");
    hadOld_ = old != nullptr;
    if (hadOld_) old_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~LocalZone() {
    if (hadOld_) {
      setenv("TZ", old_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  LocalZone(const LocalZone&) = delete;
  LocalZone& operator=(const LocalZone&) = delete;

 private:
  bool hadOld_ = false;
  std::string old_;
};

}  // namespace orvel::testing
