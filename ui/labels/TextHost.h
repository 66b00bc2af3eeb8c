#pragma once
#include <richedit.h>
#include <textserv.h>
class CTextHost : public IUnknown {};
