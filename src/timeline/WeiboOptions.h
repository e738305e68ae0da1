#pragma once

#include "service/WeiboAPI.h"

// Carries one request option record as an object, so that a fetch operation can be handed its options the
// same way whatever list it serves. The held record is a copy: changing the source afterwards changes nothing.
class WeiboOptions {
public:
    WeiboOptions() = default;
    explicit WeiboOptions(const weibo::SinaWeiboOptions& options) : options_(options) {}

    // The held record itself (not a copy); valid while this object lives.
    const weibo::SinaWeiboOptions* options() const { return &options_; }
    weibo::SinaWeiboOptions* options() { return &options_; }
    // Copy-assigns the record into the held one; a null pointer leaves it unchanged.
    void setOptions(const weibo::SinaWeiboOptions* options)
    {
        if (options)
            options_ = *options;
    }

private:
    weibo::SinaWeiboOptions options_;
};
