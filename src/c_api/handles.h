// The three handle patterns every exported function uses, written once: create a handle,
// use a handle for the length of a call, free a handle. Each is a noexcept boundary.
#pragma once

#include <concepts>
#include <memory>
#include <utility>

#include "c_api/registry.h"
#include "c_api/status.h"

namespace orvel::capi {

// A record type behind a handle names its registry set as `static constexpr HandleKind kind`.
template <class Record>
concept HandleRecordType = std::derived_from<Record, HandleRecord> && requires {
  { Record::kind } -> std::convertible_to<HandleKind>;
};

// One call reference, dropped when the call ends (destroying the record if it was freed
// meanwhile and this was the last reference).
template <HandleRecordType Record>
class CallRef {
 public:
  explicit CallRef(HandleRecord* held) noexcept : held_(held) {}
  CallRef(const CallRef&) = delete;
  CallRef& operator=(const CallRef&) = delete;
  ~CallRef() {
    if (held_ != nullptr) held_->release();
  }
  explicit operator bool() const noexcept { return held_ != nullptr; }
  Record& operator*() const noexcept { return static_cast<Record&>(*held_); }
  Record* operator->() const noexcept { return static_cast<Record*>(held_); }

 private:
  HandleRecord* held_;
};

template <HandleRecordType Record>
CallRef<Record> useRecord(const void* handle) noexcept {
  return CallRef<Record>(acquireHandle(Record::kind, handle));
}

// The address a caller sees for a record.
template <class Handle, HandleRecordType Record>
Handle* handleOf(Record* record) noexcept {
  return reinterpret_cast<Handle*>(static_cast<HandleRecord*>(record));
}

// Creates a handle: a null `out` gives 2 without writing; otherwise *out is nulled at once,
// invalid arguments give 2, and `build()` (returning std::unique_ptr<Record>) runs without
// any lock. A failure while building or registering releases what was built, leaves *out
// null and returns the family's status for it.
template <HandleRecordType Record, class Handle, class Build>
ov_status createHandle(Family family, Handle** out, bool argumentsValid, Build&& build) noexcept {
  if (out == nullptr) return kBadArgument;
  *out = nullptr;
  if (!argumentsValid) return kBadArgument;
  HandleRecord* building = nullptr;
  try {
    std::unique_ptr<Record> built = std::forward<Build>(build)();
    building = built.release();
    building->retain();  // the building reference
    registerHandle(Record::kind, building);
  } catch (...) {
    if (building != nullptr) building->release();
    return statusForCurrentFailure(family);
  }
  building->retain();  // the caller's reference
  *out = reinterpret_cast<Handle*>(building);
  building->release();
  return kOk;
}

// Runs fn(record&) holding a call reference. A null or unknown handle, or a failure raised by
// fn, gives `absent`.
template <HandleRecordType Record, class Result, class Fn>
Result withHandle(const void* handle, Result absent, Fn&& fn) noexcept {
  CallRef<Record> ref = useRecord<Record>(handle);
  if (!ref) return absent;
  try {
    return std::forward<Fn>(fn)(*ref);
  } catch (...) {
    return absent;
  }
}

// As withHandle for functions that return a status: a null or unknown handle gives 2, a
// failure the family's status for it.
template <HandleRecordType Record, class Fn>
ov_status withHandleStatus(Family family, const void* handle, Fn&& fn) noexcept {
  CallRef<Record> ref = useRecord<Record>(handle);
  if (!ref) return kBadArgument;
  try {
    return std::forward<Fn>(fn)(*ref);
  } catch (...) {
    return statusForCurrentFailure(family);
  }
}

// Runs fn() for an exported function that takes no handle; failures map to the family's
// status.
template <class Fn>
ov_status guarded(Family family, Fn&& fn) noexcept {
  try {
    return std::forward<Fn>(fn)();
  } catch (...) {
    return statusForCurrentFailure(family);
  }
}

// Frees a handle: null, unknown and already freed handles are ignored. The registration's
// reference is dropped; a call still running keeps the record alive until it ends.
template <HandleRecordType Record>
void freeHandle(const void* handle) noexcept {
  releaseHandle(Record::kind, handle);
}

// Adds one reference to a live handle's record and returns it, or null for a null or unknown
// handle; the caller drops it with release().
template <HandleRecordType Record>
Record* retainHandle(const void* handle) noexcept {
  return static_cast<Record*>(acquireHandle(Record::kind, handle));
}

}  // namespace orvel::capi
