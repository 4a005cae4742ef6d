/* Resource ids, shared by CompactAndRepair.rc and the window's code. */
#pragma once

#define CAR_IDI_PROGRAM 1
#define CAR_IDB_MAIL_SERVER 101
#define CAR_IDB_ORGANIZER 102
#define CAR_IDB_GROUPWARE_SERVER 103
#define CAR_IDB_TICK 104
/* The same pictures at twice their size, for high DPI. */
#define CAR_IDB_MAIL_SERVER_2X 111
#define CAR_IDB_ORGANIZER_2X 112
#define CAR_IDB_GROUPWARE_SERVER_2X 113
#define CAR_IDB_TICK_2X 114
