// The user rows the row-reading benches share: n current rows of one keyed key
// (host:accounts:users, keyed by name), values of about 250 bytes with one secret each.
#pragma once

namespace TarnBench {

// Writes the rows into the store of the build's host root in one transaction.
void PutUserRows(long n);

}  // namespace TarnBench
