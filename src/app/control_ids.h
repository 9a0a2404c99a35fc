// Ids of the main window's controls. Each control's object name is
// "control<id>", and MainDialog::control(id) finds it.
#pragma once

namespace korvex {

// The dynamic property that carries a control's id.
inline constexpr const char* CONTROL_ID_PROPERTY = "controlId";

inline constexpr int ID_START_BACKUP = 1000;
inline constexpr int ID_DRIVE_LIST = 1001;
inline constexpr int ID_OUTPUT_FOLDER = 1002;
inline constexpr int ID_TYPE_TIME = 1003;
inline constexpr int ID_TYPE_MOTION = 1004;
inline constexpr int ID_TYPE_SENSOR = 1005;
inline constexpr int ID_TYPE_MANUAL = 1006;
inline constexpr int ID_CHANNEL_FIRST = 1007;  // channel 1; channel k is 1006 + k
inline constexpr int ID_CHANNEL_LAST = 1022;   // channel 16
inline constexpr int ID_SIZE_LIMIT = 1023;
inline constexpr int ID_BEGIN_DATE = 1024;
inline constexpr int ID_BEGIN_TIME = 1025;
inline constexpr int ID_END_DATE = 1026;
inline constexpr int ID_END_TIME = 1027;
inline constexpr int ID_BROWSE = 1028;
inline constexpr int ID_STATUS = 1029;
inline constexpr int ID_FOLDER_START = 1030;
inline constexpr int ID_FOLDER_END = 1031;
inline constexpr int ID_STOP_BACKUP = 1033;
inline constexpr int ID_SCAN = 1034;
inline constexpr int ID_ADVANCED_SETTING = 1035;
inline constexpr int ID_ALL_CHANNELS = 1036;
inline constexpr int ID_LANGUAGE_LABEL = 1043;
inline constexpr int ID_LANGUAGE_LIST = 1044;
inline constexpr int ID_SCAN_PROGRESS = 1045;
inline constexpr int ID_STOP_SCAN = 1046;
inline constexpr int ID_SCAN_PERCENT = 1047;
inline constexpr int ID_BACKUP_TIME_LABEL = 1048;
inline constexpr int ID_CHANNEL_LABEL = 1049;
inline constexpr int ID_RECORD_TYPE_LABEL = 1050;
inline constexpr int ID_DISK_LABEL = 1051;
inline constexpr int ID_OUTPUT_LABEL = 1052;
inline constexpr int ID_SIZE_LIMIT_LABEL = 1053;
inline constexpr int ID_FOLDER_RANGE_LABEL = 1054;

// How often a running job's progress is shown.
inline constexpr int JOB_TIMER_INTERVAL_MS = 1000;

}  // namespace korvex
