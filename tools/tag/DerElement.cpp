#include "DerElement.h"

namespace Der {
namespace {
// Certificate tables are limited to 32-bit sizes; longer length fields are
// never needed.
const size_t kMaxLengthOctets = 4;
}  // namespace

bool ReadElement(const uint8_t* bytes, size_t size, size_t offset, size_t limit, Element& element) {
    if (limit > size || offset >= limit || limit - offset < 2) return false;
    const uint8_t tag = bytes[offset];
    if ((tag & 0x1F) == 0x1F) return false;
    const uint8_t first = bytes[offset + 1];
    size_t headerBytes = 2;
    size_t contentBytes = first;
    if (first & 0x80) {
        const size_t count = first & 0x7F;
        if (count == 0 || count > kMaxLengthOctets || limit - offset - 2 < count) return false;
        contentBytes = 0;
        for (size_t i = 0; i < count; ++i) contentBytes = contentBytes << 8 | bytes[offset + 2 + i];
        // DER: no leading zero octet, and the long form only where needed.
        if (bytes[offset + 2] == 0 || contentBytes < 0x80) return false;
        headerBytes += count;
    }
    if (contentBytes > limit - offset - headerBytes) return false;
    element.tag = tag;
    element.offset = offset;
    element.headerBytes = headerBytes;
    element.contentBytes = contentBytes;
    return true;
}

bool ReadChildren(const uint8_t* bytes, size_t size, const Element& parent, std::vector<Element>& children) {
    children.clear();
    const size_t end = parent.End();
    for (size_t offset = parent.ContentOffset(); offset < end;) {
        Element child;
        if (!ReadElement(bytes, size, offset, end, child)) return false;
        children.push_back(child);
        offset = child.End();
    }
    return true;
}

size_t HeaderSize(size_t contentBytes) {
    size_t octets = 0;
    if (contentBytes >= 0x80) {
        for (size_t rest = contentBytes; rest != 0; rest >>= 8) ++octets;
    }
    return 2 + octets;
}

void AppendHeader(std::vector<uint8_t>& out, uint8_t tag, size_t contentBytes) {
    out.push_back(tag);
    if (contentBytes < 0x80) {
        out.push_back(static_cast<uint8_t>(contentBytes));
        return;
    }
    const size_t octets = HeaderSize(contentBytes) - 2;
    out.push_back(static_cast<uint8_t>(0x80 | octets));
    for (size_t i = octets; i-- > 0;) out.push_back(static_cast<uint8_t>(contentBytes >> (8 * i)));
}

namespace {
// The new content size of every element of the chain, outermost first.
std::vector<size_t> ContentSizesAfterTailRewrite(const std::vector<Element>& chain, size_t cut, size_t tailBytes) {
    std::vector<size_t> sizes(chain.size());
    size_t inner = cut - chain.back().ContentOffset() + tailBytes;
    for (size_t i = chain.size(); i-- > 0;) {
        if (i + 1 < chain.size()) inner = chain[i + 1].offset - chain[i].ContentOffset() + HeaderSize(inner) + inner;
        sizes[i] = inner;
    }
    return sizes;
}
}  // namespace

size_t SizeAfterTailRewrite(const std::vector<Element>& chain, size_t cut, size_t tailBytes) {
    const size_t contents = ContentSizesAfterTailRewrite(chain, cut, tailBytes).front();
    return HeaderSize(contents) + contents;
}

std::vector<uint8_t> RewriteTail(const uint8_t* bytes, const std::vector<Element>& chain, size_t cut,
                                 const std::vector<uint8_t>& tail) {
    const std::vector<size_t> sizes = ContentSizesAfterTailRewrite(chain, cut, tail.size());
    std::vector<uint8_t> out;
    out.reserve(HeaderSize(sizes.front()) + sizes.front());
    for (size_t i = 0; i < chain.size(); ++i) {
        AppendHeader(out, chain[i].tag, sizes[i]);
        const size_t keptEnd = i + 1 < chain.size() ? chain[i + 1].offset : cut;
        out.insert(out.end(), bytes + chain[i].ContentOffset(), bytes + keptEnd);
    }
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}
}  // namespace Der
