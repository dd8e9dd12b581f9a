#include "dataaccess/PhoneNumber.h"

namespace {

bool allDigits(const XString& text) {
    for (int i = 0; i < text.length(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
    }
    return true;
}

// Inserts the separators for a number of length digits; false when that length has no layout.
bool group(XString& digits) {
    switch (digits.length()) {
        case 7:
            digits.insert(3, "-");
            return true;
        case 8:
        case 9:
            return true;
        case 10:
            digits.insert(6, "-").insert(3, " ");
            return true;
        case 11:
            digits.insert(7, "-").insert(4, "-").insert(1, "-").insert(0, "+");
            return true;
        case 12:
            digits.insert(8, "-").insert(5, " ").insert(2, " ").insert(0, "+");
            return true;
        case 13:
            digits.insert(9, "-").insert(6, " ").insert(3, " ").insert(0, "+");
            return true;
        case 14:
            digits.insert(10, "-").insert(7, " ").insert(4, " ").insert(0, "+");
            return true;
        default:
            return false;
    }
}

}  // namespace

XString PhoneNumber::format(const XString& text, XString& complaint) {
    complaint = XString();
    if (text.isEmpty()) {
        return text;
    }
    XString digits(text);
    digits.removeChars("() -");

    XString extension;
    int marker = digits.find("ext");
    int markerLength = 3;
    if (marker < 0) {
        marker = digits.find("Ext");
    }
    if (marker < 0) {
        marker = digits.find('x');
        markerLength = 1;
    }
    if (marker >= 0) {
        extension = digits.mid(marker + markerLength);
        digits.truncate(marker);
    }

    if (!allDigits(digits) || !group(digits)) {
        digits = text;
        complaint = "Phone number: " + text +
                    ", cannot parse into right format.  This means that the phone number in your database is "
                    "not in phone number format.";
    }
    if (!digits.isEmpty() && !extension.isEmpty()) {
        return digits + " x" + extension;
    }
    return digits.isEmpty() ? extension : digits;
}
