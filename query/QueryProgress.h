#pragma once

// Observer of a query run. The base reports one step per handled row.
class QueryProgress
{
public:
    virtual ~QueryProgress() = default;
    // The share of the host's progress that a whole run stands for.
    virtual int progressRange() = 0;
    // Called after each handled row with progressRange() / rows; false stops the run.
    virtual bool advance(double step) = 0;
};
