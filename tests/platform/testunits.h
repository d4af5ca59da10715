#pragma once

// The cameras' extension units and request flags, written out apart from
// the program's own definitions so that a wrong byte there shows.
#include <QUuid>

namespace TestUnits {
inline const QUuid Main(QStringLiteral("{A7A6A934-3A4A-4351-85F4-042EF2CDCAAB}"));
inline const QUuid Zoom(QStringLiteral("{9D33BBE7-E619-435C-8FAC-528EECCCBCA4}"));
inline const QUuid Other(QStringLiteral("{0F3F95DC-2632-4C4E-92C9-A04782F43BC8}"));

constexpr unsigned long SupportQuery = 0x10000100;
constexpr unsigned long LengthQuery = 0x10000001; // a get without a buffer
constexpr unsigned long GetTransfer = 0x10000001;
constexpr unsigned long SetTransfer = 0x10000002;
} // namespace TestUnits
