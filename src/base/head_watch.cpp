#include "base/head_watch.h"

namespace orvel::base {

namespace detail {
thread_local constinit const uint8_t* watchedHeadEnd = nullptr;
thread_local constinit bool watchedHeadOverrun = false;
}  // namespace detail

HeadWatch::HeadWatch(ByteView head) noexcept
    : previousEnd_(detail::watchedHeadEnd), previousOverrun_(detail::watchedHeadOverrun) {
  detail::watchedHeadEnd = head.data() + head.size();
  detail::watchedHeadOverrun = false;
}

HeadWatch::~HeadWatch() {
  detail::watchedHeadEnd = previousEnd_;
  detail::watchedHeadOverrun = previousOverrun_;
}

}  // namespace orvel::base
