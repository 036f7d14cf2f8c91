// The rewriters of OWA Premium item pages, of the attach-file dialog and its result, and of the page after
// an attachment was deleted.
#pragma once

#include "forms/DLPremiumFormAttachmentResults.h"
#include "forms/DLPremiumFormGETAttachFileDialog.h"
#include "forms/DLPremiumFormItem.h"
