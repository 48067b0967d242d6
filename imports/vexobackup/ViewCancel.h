// The request to stop building views: raised by a host that is being
// interrupted (from any thread), polled by the view's decryption between
// files and between blocks of a file.
#pragma once

class ViewCancel
{
public:
    static void request();
    static bool requested();
};
