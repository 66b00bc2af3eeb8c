#pragma once
// Resource ids shared by the resource script and the code.

#define IDS_APP_NAME 57344
#define IDS_NETWORKING_FAILED 3024
#define IDS_ALREADY_RUNNING 3019

#define IDR_BUILD_CONFIG 1
#define RT_BUILD_CONFIG 33
