// Pessimistic locking: a pending AddNew or Edit holds the file's write lock from the call that
// starts it to the Update or CancelUpdate that ends it, so a second user's AddNew, Edit,
// Update or Delete fails at once with 3260 (which callers retry) instead of meeting a
// conflict when storing. Holding the lock writes nothing: pending values stay in memory until
// Update, so releasing it never loses anyone's work. The recordsets of one database object
// share its connection, and so share the lock; the last holder releases it.
#pragma once

#include <functional>

#include "engine/database/Database.h"

namespace vorlix {

// Takes (or shares) the write lock; 3260 when another user holds it.
void AcquireEditLock(CDaoDatabase& db);

// Gives up a share of the lock taken by AcquireEditLock; the last share releases the file.
void ReleaseEditLock(CDaoDatabase& db);

// Gives up the only share of the lock, undoing everything written under it since it was
// taken; never fails. For a transaction that ends without committing.
void AbandonEditLock(CDaoDatabase& db) noexcept;

// Runs write as one atomic change under the write lock: inside the lock when this database
// object holds it already (the change is kept when the lock is released), else in a
// transaction of its own that takes the lock for the call (3260 when another user holds it).
// When write raises, none of its changes are kept and no lock it took outlives the call.
void WriteLocked(CDaoDatabase& db, const std::function<void()>& write);

}  // namespace vorlix
