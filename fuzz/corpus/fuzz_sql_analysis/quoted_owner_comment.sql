select a from "own"."tab" where x is not null /* note */ and y = :y // tail
