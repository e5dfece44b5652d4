#pragma once

// Shared by the resource script and the code.
#define IDI_UPDATE 1
#define IDB_SETUP 101
#define IDB_CRITICAL 102
#define IDB_QUESTION 103
// Each picture is also drawn for 150 and 200 % display scale, under its id
// plus one and two steps.
#define IDB_SCALE_STEP 10
// The record of the pack a release build carries (update/core/pack_record.hpp).
#define IDR_PACK_RECORD 201
