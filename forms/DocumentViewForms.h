// The rewriters of OWA Premium's document views, of the force-save error page that follows a document
// download, and of the attach-file dialog as OWA first sends it; each has a file of its own.
#pragma once

#include "forms/DLPremiumFormGETAttachFileDialog.h"
#include "forms/DocumentViewForceSaveErrorForm.h"
#include "forms/PremiumFormDocumentView.h"
