#pragma once

#include <QString>

// The key texts by which the page reads the upgrade library's messages.
bool isSendFileMessage(const QString& message);
bool isFlashWriteMessage(const QString& message);
bool isExitMessage(const QString& message);
// A message that reports a failed step: it starts with an error word
// ("Error: ...", "failed to ...", in any case). A word further on is not
// enough: "no error" and "0 errors" are reports of success.
bool isFailureMessage(const QString& message);

// The first number of a message as written ("12.5", "37"); empty when the
// message holds no digits.
QString firstNumber(const QString& message);

// A transfer percentage is an integer: a number with a decimal point does
// not convert and counts as 0.
int sendFilePercent(const QString& number);
float flashWritePercent(const QString& number);
