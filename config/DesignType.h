#pragma once
// Which installation a configuration-reading component follows: the client's (BriskoC.ini)
// or the server's (BriskoS.ini).

enum TDesignType { dtClient, dtServer };
