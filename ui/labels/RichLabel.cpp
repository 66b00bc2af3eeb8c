#include "ui/labels/RichLabel.h"

CRichLabel::~CRichLabel() = default;
