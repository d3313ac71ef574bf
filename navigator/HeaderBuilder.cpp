// Laying the header image from the tag list.
#include "navigator/TagFinder.h"

namespace scanleaf {

void TagFinder::BuildHeader(unsigned char*) const {}
void TagFinder::WriteRecord(const Tag&, unsigned char*) const {}

} // namespace scanleaf
