#include "connection/Connection.h"

namespace vorlix {

CDBConnection::CDBConnection(Sleeper sleep) : sleep_(std::move(sleep)) {}

}  // namespace vorlix
