#pragma once

// Shared by the resource script and the code.
#define IDI_UPDATE 1
#define IDR_SETUP 101
#define IDR_CRITICAL 102
#define IDR_QUESTION 103
// Each picture is also drawn for 150 and 200 % display scale, under its id
// plus one and two steps.
#define IDR_SCALE_STEP 10
// The record of the pack a release build carries (update/core/pack_record.hpp).
#define IDR_PACK_RECORD 201
