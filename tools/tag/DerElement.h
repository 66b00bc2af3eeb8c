#pragma once
// Just enough DER for the tag tool: reading one element's header inside a
// bounded range of bytes, and writing a header with the shortest length form.
// Only single-byte tags and definite lengths are accepted: anything else is
// not a form the tool needs to understand, and is refused by the callers.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace Der {
const uint8_t kSequence = 0x30;
const uint8_t kSet = 0x31;
const uint8_t kObjectIdentifier = 0x06;
const uint8_t kOctetString = 0x04;
const uint8_t kContextConstructed0 = 0xA0;
const uint8_t kContextConstructed1 = 0xA1;

// One element: its tag, where it starts, the size of its header and contents.
struct Element {
    uint8_t tag = 0;
    size_t offset = 0;
    size_t headerBytes = 0;
    size_t contentBytes = 0;

    size_t ContentOffset() const { return offset + headerBytes; }
    size_t End() const { return offset + headerBytes + contentBytes; }
};

// Reads the element at offset; it must lie wholly before limit, and limit must
// not exceed size. False for a truncated header, a multi-byte tag, an
// indefinite or non-minimal length, or contents reaching past limit.
bool ReadElement(const uint8_t* bytes, size_t size, size_t offset, size_t limit, Element& element);

// The element's children, in order, filling its contents exactly. False when
// any child is malformed or the children leave bytes over.
bool ReadChildren(const uint8_t* bytes, size_t size, const Element& parent, std::vector<Element>& children);

// The size of a header for contents of contentBytes.
size_t HeaderSize(size_t contentBytes);

// Appends tag and the shortest length encoding of contentBytes.
void AppendHeader(std::vector<uint8_t>& out, uint8_t tag, size_t contentBytes);

// Rewriting the end of nested elements. chain runs from the outermost element
// to the innermost, each lying inside the one before and all ending at the
// same byte. The innermost element's contents from cut (inside them) to their
// end are replaced by a tail; every enclosing length is written anew, its
// length-of-length changing where it must.

// The size of the outermost element after such a rewrite with tailBytes.
size_t SizeAfterTailRewrite(const std::vector<Element>& chain, size_t cut, size_t tailBytes);

// The outermost element's new encoding.
std::vector<uint8_t> RewriteTail(const uint8_t* bytes, const std::vector<Element>& chain, size_t cut,
                                 const std::vector<uint8_t>& tail);
}  // namespace Der
