#include "libraries/support/XTime.h"

XTime::XTime(int, int, int, int) {}
XTime XTime::FromMilliseconds(int32_t milliseconds) {
    XTime t;
    t.m_ms = milliseconds;
    return t;
}
XTime XTime::FromQTime(const QTime&) {
    return XTime();
}
XTime XTime::Now() {
    return XTime();
}
void XTime::GetParts(int&, int&, int&, int&) const {}
QTime XTime::ToQTime() const {
    return QTime();
}
XString XTime::Format(const XString&) const {
    return XString();
}
bool XTime::Parse(const XString&, const XString&) {
    return false;
}
void XTime::FromOleDate(double) {}
XTime XTime::Elapsed(const XTime&, const XTime& end) {
    return end;
}
