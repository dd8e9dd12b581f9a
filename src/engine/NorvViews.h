// The source's views that the engine reads, by name: the one place each name is spelt.
#pragma once

namespace norv_views {

inline constexpr const char* kSchoolView = "V_VLMR_SCHOOL";
inline constexpr const char* kStaffView = "V_VLMR_TEACH_CONTACTS_MEDICAL";
inline constexpr const char* kSectionView = "V_VLMR_COURSE_SECT_MAINT";
inline constexpr const char* kPeriodView = "V_VLMR_STU_PERIOD_ATTENDANCE";
inline constexpr const char* kDailyView = "V_VLMR_STU_DAILY_ATTENDANCE";
inline constexpr const char* kDemographicView = "V_VLMR_STU_DEMOGRAPHIC";
inline constexpr const char* kParentView = "V_VLMR_STU_CONTACT_PARENTS";
inline constexpr const char* kEmergencyView = "V_VLMR_EMERGENCY_CONTACTS";
inline constexpr const char* kScheduleView = "V_VLMR_STU_COURSE_SELECTION";
inline constexpr const char* kMarkView = "V_VLMR_STUDENT_MARKS";
inline constexpr const char* kAttendanceCodeView = "V_VLMR_ATTENDANCE_CODE";
inline constexpr const char* kBellView = "V_VLMR_PERIOD_STAR_TEND";
inline constexpr const char* kCycleView = "V_VLMR_ATTENDANCE_CYCLES";
inline constexpr const char* kTumbleView = "V_VLMR_CURRENT_YEAR_CALENDAR";
inline constexpr const char* kReportingPeriodView = "V_VLMR_REPORTING_PERIOD";
inline constexpr const char* kVehicleView = "V_VLMR_TEACHER_VEHICLES";
inline constexpr const char* kTransportView = "V_VLMR_STU_TRANSPORT";
inline constexpr const char* kMedicalView = "V_VLMR_STUDENT_MEDICAL";

}  // namespace norv_views
