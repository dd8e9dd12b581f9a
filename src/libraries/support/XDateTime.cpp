#include "libraries/support/XDateTime.h"

XDateTime XDateTime::Now() {
    return XDateTime();
}
XDateTime XDateTime::FromQDateTime(const QDateTime&) {
    return XDateTime();
}
QDateTime XDateTime::ToQDateTime() const {
    return QDateTime();
}
XString XDateTime::Format(const XString&) const {
    return XString();
}
bool XDateTime::Parse(const XString&, const XString&) {
    return false;
}
bool XDateTime::ParseIso(const XString&) {
    return false;
}
void XDateTime::FromOleDate(double) {}
double XDateTime::ToOleDate() const {
    return 0.0;
}
void XDateTime::AddInterval(int, int, int, int, int, int, int) {}
void XDateTime::SubtractInterval(int, int, int, int, int, int, int) {}
