"""Runs a callable on a thread with a small stack (512 KiB unless told), as some callers configure theirs."""
import threading


def run_on_small_stack(fn, stack_bytes=512 * 1024):
    """Returns fn's result, or raises its error, after running it on a thread with that stack."""
    outcome = {}

    def target():
        try:
            outcome["value"] = fn()
        except BaseException as error:  # noqa: BLE001 - handed back to the caller
            outcome["error"] = error

    previous = threading.stack_size(stack_bytes)
    try:
        thread = threading.Thread(target=target)
        thread.start()
        thread.join()
    finally:
        threading.stack_size(previous)
    if "error" in outcome:
        raise outcome["error"]
    return outcome["value"]
