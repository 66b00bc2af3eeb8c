#pragma once
// The HRESULT that stands for a caught exception object.
#include <windows.h>

class CException;

// The code of the exception kinds that have one: not supported 0x80070032,
// out of memory, invalid argument, COleException's status, CFileException's
// OS error as HRESULT, CWindowsException's code with 0x10000000 set. False for
// any other class.
bool KnownExceptionCode(const CException* exception, HRESULT& code);

// KnownExceptionCode, or 0xA0010001 for any other class.
HRESULT HResultFromException(const CException* exception);
