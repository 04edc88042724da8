#pragma once

#include "harvest/core/pagesaver.h"

#include <QStringList>

// Keeping a task's page list up with its site: the pages the site has added
// since the list was made go to the end of the list, so that the lines there
// keep their numbers and page files, and the saving run saves only the new ones.
namespace pagrim::harvest {

class Browser;
class RunHost;
struct SaveLimits;

struct PageUpdate
{
    QStringList lines; // the page list written: addresses and summary line
    int added = 0;     // the lines added to it
};

// Adds the new pages of the host's task to the end of its page list file.
//
// A list page task reads its list pages as BuildPageList does, from the first
// one on, and appends the passing links the list does not hold; it stops after
// the first list page that adds none (or after ResEnd). ResCurrent stays; the
// summary line counts the whole list, its duplicates those repeated among the
// new links. A run stopped or killed midway leaves a note in the list mark, so
// that the next one reads past the pages it had read, whatever they add.
//
// An ordinal task first gets the numbers up to ResEnd, as BuildPageList makes
// them, when ResCurrent is below it. Then it tries the numbers after ResEnd one
// by one through a PageQueue on a fetcher of makeFetcher, under limits: a
// number whose page is saved is added to the list, with any numbers before it
// that failed otherwise (logged, for 重新保存失败的网页); the first number
// answered 404 or 410, or a third failure, ends the run. ResEnd and ResCurrent
// rise to the last number added, and SaveCurrent over the lines added when it
// stood at the end of the list. A number whose page an earlier, killed run has
// saved is not fetched again. A template without "*" gets no numbers.
//
// A list page or a number whose page says the login is gone (LoginCheck) adds
// nothing and ends the run with LoginLost.
PageUpdate UpdatePageList(RunHost& host, Browser& browser,
                          const PageSaver::FetcherMaker& makeFetcher, const SaveLimits& limits);

} // namespace pagrim::harvest
