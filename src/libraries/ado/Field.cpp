#include "libraries/ado/Field.h"

#include "libraries/ado/Recordset.h"

namespace ado {

QString Field::name() const {
    return recordset_->columnFacts(index_).name;
}

int Field::type() const {
    return recordset_->columnFacts(index_).adoType;
}

int Field::attributes() const {
    return recordset_->columnFacts(index_).attributes;
}

long long Field::definedSize() const {
    return recordset_->columnFacts(index_).definedSize;
}

int Field::precision() const {
    return recordset_->columnFacts(index_).precision;
}

int Field::numericScale() const {
    return recordset_->columnFacts(index_).numericScale;
}

Variant Field::value() const {
    return recordset_->value(index_);
}

int Field::status() const {
    return recordset_->cellStatus(index_);
}

long long Field::actualSize() const {
    return recordset_->cellSize(index_);
}

Variant Field::getChunk(long long size) {
    return recordset_->nextChunk(index_, size);
}

}  // namespace ado
