#pragma once
// trevanix-cli send and outbox: the messages to the lab system. Both run beside the window
// program (no one-copy lock): a message is claimed before it is sent, so two senders never
// send the same one at once.

inline constexpr int kExitUnreachable = 4;

// send [--requeue [the options of list]]: 0 all delivered or nothing waiting, 1 some answered
// AE/AR/CR, 2 wrong arguments, 4 the receiver could not be reached or did not answer in time.
int SendMain(int argc, char** argv, int (*usage)());
// outbox: one line per message not delivered.
int OutboxMain(int argc, int (*usage)());
