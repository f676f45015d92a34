#ifndef BPASSWORD_H
#define BPASSWORD_H

#include <QString>

// Password strength, from zxcvbn's entropy estimate and the patterns it
// found.
//
// entropy:  bits reported by zxcvbn, 0 for the empty password;
// rating:   0 very weak (< 15 bits), 1 weak (< 25), 2 OK (< 40),
//           3 strong (< 60), 4 excellent;
// fraction: entropy / 60, at most 1, for a strength bar;
// feedback: for ratings 0 to 2 a warning naming the first weak pattern in
//           zxcvbn's match list that is long enough to matter, followed by
//           the matched characters in parentheses; otherwise empty.
void ratePassword(const QString& password, double& entropy, int& rating, double& fraction, QString& feedback);

// "Very weak", "Weak", "OK", "Strong" or "Excellent", translated; any rating
// outside 1 to 4 is "Very weak".
QString ratingName(int rating);

#endif // BPASSWORD_H
