// Resource identifiers of the module.
#pragma once

#define IDR_CALSFORMAT 102
#define IDR_CALSFILE 103
#define IDR_CALSPREVIEW 104
