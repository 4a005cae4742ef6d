/* Resource ids, shared by CompactAndRepair.rc and the window's code. */
#pragma once

#define CAR_IDI_PROGRAM 1
#define CAR_IDB_MAIL_SERVER 101
#define CAR_IDB_ORGANIZER 102
#define CAR_IDB_GROUPWARE_SERVER 103
#define CAR_IDB_TICK 104
