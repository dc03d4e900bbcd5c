#pragma once
// Exceptions of the persistence framework. CPrstException<N> carries a numeric code in its type:
//   14  no factory for a class name
//   15  an unknown text class name (creation by text class name, class lists)

#include "standard/exception.h"

NBX_DECLARE_EXCEPTION(CPrstBaseException, nbx::CException);

template <int N>
class CPrstException : public CPrstBaseException {
public:
    static constexpr int kCode = N;
    CPrstException() = default;
    explicit CPrstException(const nbx::CException& other) : CPrstBaseException(other) {}
    CPrstException* clone() const override { return new CPrstException(*this); }
};

using CPrstNoFactoryException = CPrstException<14>;
using CPrstUnknownClassException = CPrstException<15>;
