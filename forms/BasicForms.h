// The rewriters of OWA Basic pages: item pages, the attachment manager, and the pages whose attach
// buttons the settings disable or remove.
#pragma once

#include "forms/BasicFormAttachmentManager.h"
#include "forms/BasicFormItem.h"
#include "forms/BasicFormWithAttachButtons.h"
#include "forms/BasicFormWithAttachments.h"
