#pragma once
// The out-of-memory error of the exception family, for the native fuzzing
// build of the portable parsers: thrown by pointer to a static instance.
class CException {
public:
    virtual ~CException() = default;
    void Delete() {}
};

class CMemoryException : public CException {};

[[noreturn]] void ThrowMemoryException();
