#include "metadata/record.h"

#include "metadata/dates.h"

namespace orvel::metadata {

Metadata defaultMetadata() {
  Metadata meta;
  meta.dateTaken = noDate();
  return meta;
}

}  // namespace orvel::metadata
