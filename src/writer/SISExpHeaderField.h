// One output field of an output table, named exactly as the header line of the import format writes it.
// A name may carry a default-value suffix for the importer ("SecPerRef{'0'"); it is passed through as text.
#pragma once

#include "libraries/support/XString.h"

class SISExpHeaderField {
  public:
    explicit SISExpHeaderField(const XString& name) : m_name(name) {}
    virtual ~SISExpHeaderField() = default;
    SISExpHeaderField(const SISExpHeaderField&) = delete;
    SISExpHeaderField& operator=(const SISExpHeaderField&) = delete;

    const XString& name() const { return m_name; }

  private:
    XString m_name;
};
