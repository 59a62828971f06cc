// Makes every thread started with the default attributes fail, for the life of the object, as
// a system out of memory for stacks would: the default stack becomes larger than an address
// space, so the system's own thread creation refuses it (EAGAIN). It holds for the whole
// process, the component modules too; the test starts no other thread while it lives.
#pragma once

#include <pthread.h>

#include <cstddef>

namespace testenv {

class NoNewThreads {
public:
    NoNewThreads() {
        ::pthread_getattr_default_np(&saved_);
        pthread_attr_t huge;
        ::pthread_attr_init(&huge);
        ::pthread_attr_setstacksize(&huge, std::size_t{1} << 50);
        ok_ = ::pthread_setattr_default_np(&huge) == 0;
        ::pthread_attr_destroy(&huge);
    }
    ~NoNewThreads() {
        ::pthread_setattr_default_np(&saved_);
        ::pthread_attr_destroy(&saved_);
    }
    NoNewThreads(const NoNewThreads&) = delete;
    NoNewThreads& operator=(const NoNewThreads&) = delete;

    // False when the default could not be changed: the test has nothing to check then.
    bool active() const { return ok_; }

private:
    pthread_attr_t saved_;
    bool ok_ = false;
};

}  // namespace testenv
