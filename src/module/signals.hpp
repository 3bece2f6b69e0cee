// Signals during a long call. At each checkpoint of a vector operation the
// interpreter runs the handlers of pending signals, with the interpreter
// lock held as throughout the call; a handler that raises (KeyboardInterrupt
// for Ctrl-C) stops the operation, and its exception, pending in the
// interpreter, ends the call with no partial result.
#pragma once

namespace magnikit {

// Prepares what the checks need; called once, at module initialisation.
void prepare_signal_checks();

// Runs the handlers of pending signals; true when one of them raised.
bool signal_handler_raised();

}  // namespace magnikit
