#pragma once

// Why a POP3 call failed. The library entry points return the negated value.
enum class Pop3Error : int {
    None = 0,
    Unreachable = 1,  // name lookup or TCP connect failed
    Timeout = 2,      // the server went silent or the call ran past its deadline
    Closed = 3,       // the server closed the connection
    Protocol = 4,     // not a POP3 reply: garbage, a line over the cap, a reply cut short
    Tls = 5,          // TLS could not be set up (handshake, STLS missing or refused)
    Certificate = 6,  // the server's certificate was rejected
    Refused = 7,      // -ERR to a command outside the login
    Auth = 8,         // -ERR to the login
    MailboxBusy = 9,  // [IN-USE] or [LOGIN-DELAY]
    BadArgument = 10, // a value that cannot be sent (line breaks in a user name, bad number)
    BadHandle = 11,   // no such connection
    BadState = 12,    // a call out of order (for example a fetch before the login)
};

class QString;

// A short readable text for an error kind, for when no fuller text is at hand.
QString pop3ErrorText(Pop3Error error);
