#pragma once

// Shared by the resource script and the code.
#define IDI_UPDATE 1
#define IDB_SETUP 101
#define IDB_CRITICAL 102
#define IDB_QUESTION 103
