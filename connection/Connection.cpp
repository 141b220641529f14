#include "connection/Connection.h"

namespace vorlix {

CDBConnection::CDBConnection(Sleeper sleep, Yielder yield, Stopper stop)
    : database_(std::move(yield)), sleep_(std::move(sleep)), stop_(std::move(stop)) {}

}  // namespace vorlix
