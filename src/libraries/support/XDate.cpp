#include "libraries/support/XDate.h"

XDate::XDate(int year, int month, int day) {
    SetDate(year, month, day);
}
XDate XDate::FromDayNumber(int32_t dayNumber) {
    XDate d;
    d.m_day = dayNumber;
    return d;
}
XDate XDate::FromQDate(const QDate&) {
    return XDate();
}
XDate XDate::Today() {
    return XDate();
}
void XDate::SetDate(int, int, int) {}
void XDate::GetParts(int&, int&, int&) const {}
int XDate::Year() const {
    return 0;
}
int XDate::Month() const {
    return 0;
}
int XDate::Day() const {
    return 0;
}
int XDate::DayOfWeek() const {
    return 0;
}
QDate XDate::ToQDate() const {
    return QDate();
}
XString XDate::Format(const XString&) const {
    return XString();
}
bool XDate::Parse(const XString&, const XString&) {
    return false;
}
XString XDate::IsoText() const {
    return XString();
}
bool XDate::ParseIso(const XString&) {
    return false;
}
void XDate::FromOleDate(double) {}
double XDate::ToOleDate() const {
    return 0.0;
}
void XDate::LoadStartupState() {}
int XDate::WindowYear(int v) {
    return v;
}
XString XDate::MonthName(int) {
    return XString();
}
XString XDate::DayName(int) {
    return XString();
}
int32_t XDate::DayNumberOf(int, int, int) {
    return 0;
}
void XDate::PartsOf(int32_t, int&, int&, int&) {}
int XDate::DaysInMonth(int, int) {
    return 0;
}
